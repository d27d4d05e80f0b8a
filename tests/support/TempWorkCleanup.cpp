// Each test program removes the process's temporary work directory when it
// ends, as the program does at exit, so that test runs leave nothing in
// $TMPDIR.
#include <gtest/gtest.h>

#include "ports/TempDir.h"

namespace {

class TempWorkCleanup : public ::testing::Environment {
 public:
  void TearDown() override { RemoveTempWorkDirectory(); }
};

[[maybe_unused]] ::testing::Environment* const kCleanup = ::testing::AddGlobalTestEnvironment(new TempWorkCleanup);

}  // namespace
