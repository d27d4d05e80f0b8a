#include "catalog/CatalogLock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ports/TempDir.h"

// A writer that waited while the holder saved (a rename over the path) must
// end up holding the lock of the new file, or the next writer gets in too.
TEST(CatalogLock, AWriterThatWaitedThroughASaveHoldsTheNewFile) {
  std::string dir = (std::filesystem::temp_directory_path() / "qv-lock-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string path = dir + "/c.qvd", saved = dir + "/c.new";
  std::ofstream(path) << "old";

  CCatalogLock first, second, third;
  ASSERT_TRUE(first.Lock(path, 0, nullptr));
  bool waited = false;
  std::thread writer([&] { waited = second.Lock(path, 10000, nullptr); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the second writer waits on the old file
  std::ofstream(saved) << "new";
  EXPECT_EQ(std::rename(saved.c_str(), path.c_str()), 0);
  first.Unlock();
  writer.join();
  EXPECT_TRUE(waited);

  std::string error;
  EXPECT_FALSE(third.Lock(path, 0, &error));
  EXPECT_NE(error.find("another program"), std::string::npos) << error;
  second.Unlock();
  EXPECT_TRUE(third.Lock(path, 0, nullptr));
  third.Unlock();
  EXPECT_TRUE(RemoveTree(dir));
}
