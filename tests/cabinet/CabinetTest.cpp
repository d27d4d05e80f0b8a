#include "cabinet/Cabinet.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "cabinet/ArchiveFixtures.h"
#include "cabinet/CabWriter.h"
#include "i18n/Translator.h"

namespace {

struct Listed {
  std::string name;
  uint32_t size;
  uint16_t date, time, attribs;
};

// Runs the create / is-cabinet / copy / destroy sequence over a cabinet.
struct CabRun {
  ERF erf;
  bool isCabinet = false;
  bool copied = false;
  FDICABINETINFO info;
};

CabRun RunCabinet(const std::string& path, const FdiNotify& notify, uint64_t memberLimit = 0) {
  CabRun r;
  HFDI h = FDICreate(&r.erf);
  EXPECT_NE(h, nullptr);
  if (memberLimit) FDISetMemberLimit(h, memberLimit);
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd >= 0) {
    r.isCabinet = FDIIsCabinet(h, fd, &r.info);
    ::close(fd);
  }
  if (r.isCabinet) {
    const size_t slash = path.rfind('/');
    r.copied = FDICopy(h, path.substr(slash + 1), path.substr(0, slash + 1), 0, notify);
  }
  const ERF kept = r.erf;
  EXPECT_TRUE(FDIDestroy(h));
  r.erf = kept;
  return r;
}

std::vector<Listed> ListAll(const std::string& path, CabRun* run = nullptr) {
  std::vector<Listed> out;
  CabRun r = RunCabinet(path, [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION& n) -> intptr_t {
    if (type == fdintCOPY_FILE) out.push_back({n.psz1, n.cb, n.date, n.time, n.attribs});
    return 0;
  });
  if (run) *run = r;
  return out;
}

TEST(CabinetEngine, ListsMembersOfToolMadeCabinets) {
  REQUIRE_TOOL("gcab");
  ScratchDir dir;
  dir.Write("src/a/x.txt", "first x");
  dir.Write("src/b/x.txt", "the second x");
  for (const char* flags : {"-c", "-cz"}) {
    const std::string cab = dir / (std::string("t") + flags + ".cab");
    ASSERT_TRUE(RunIn(dir / "src", std::string("gcab ") + flags + " '" + cab + "' a/x.txt b/x.txt"));
    CabRun run;
    const std::vector<Listed> listed = ListAll(cab, &run);
    EXPECT_TRUE(run.isCabinet);
    EXPECT_TRUE(run.copied);
    EXPECT_EQ(run.info.cFiles, 2);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].name, "a\\x.txt");
    EXPECT_EQ(listed[0].size, 7u);
    EXPECT_EQ(listed[1].name, "b\\x.txt");
    EXPECT_EQ(listed[1].size, 12u);
    EXPECT_EQ(listed[1].attribs & CAB_ATTR_ARCHIVE, CAB_ATTR_ARCHIVE);
  }
}

TEST(CabinetEngine, WritesOnlyTheMembersAskedForAndHandsBackTheirDescriptors) {
  REQUIRE_TOOL("gcab");
  ScratchDir dir;
  std::string big(100000, 'q');
  for (size_t i = 0; i < big.size(); i += 7) big[i] = static_cast<char>('a' + i % 26);
  dir.Write("src/big.bin", big);
  dir.Write("src/small.txt", "small");
  const std::string cab = dir / "t.cab";
  ASSERT_TRUE(RunIn(dir / "src", "gcab -cz '" + cab + "' small.txt big.bin"));
  const std::string out = dir / "out.bin";
  int closed = 0;
  CabRun run = RunCabinet(cab, [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION& n) -> intptr_t {
    if (type == fdintCOPY_FILE) return n.psz1 == "big.bin" ? ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644) : 0;
    if (type == fdintCLOSE_FILE_INFO) {
      ++closed;
      ::close(n.hf);
      return 1;
    }
    return 0;
  });
  EXPECT_TRUE(run.copied);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(ReadWholeFile(out), big);
}

TEST(CabinetEngine, RefusalsCarryTheirErrorCodes) {
  ScratchDir dir;
  const std::string notCab = dir.Write("fake.cab", "PK\x03\x04 this is no cabinet at all, just some bytes");
  CabRun run;
  ListAll(notCab, &run);
  EXPECT_FALSE(run.isCabinet);
  EXPECT_EQ(run.erf.erfOper, FDIERROR_NOT_A_CABINET);
  EXPECT_TRUE(run.erf.fError);

  ERF erf;
  HFDI h = FDICreate(&erf);
  EXPECT_FALSE(FDICopy(h, "missing.cab", dir.path() + "/", 0, nullptr));
  EXPECT_EQ(erf.erfOper, FDIERROR_CABINET_NOT_FOUND);
  FDIDestroy(h);

  // A cabinet whose header is cut short.
  const std::string whole = BuildTestCabinet({{"a.txt", "hello"}});
  const std::string cut = dir.Write("cut.cab", whole.substr(0, 30));
  ListAll(cut, &run);
  EXPECT_FALSE(run.isCabinet);
}

TEST(CabinetEngine, NotificationsCanAbortAndLimitsRefuseLargeMembers) {
  ScratchDir dir;
  const std::string cab = dir / "t.cab";
  WriteTestCabinet(cab, {{"a.txt", std::string(100, 'a')}, {"b.txt", "b"}});

  int seen = 0;
  CabRun run = RunCabinet(cab, [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION&) -> intptr_t {
    if (type == fdintCOPY_FILE) ++seen;
    return type == fdintCOPY_FILE ? -1 : 0;
  });
  EXPECT_FALSE(run.copied);
  EXPECT_EQ(run.erf.erfOper, FDIERROR_USER_ABORT);
  EXPECT_EQ(seen, 1);

  // A member over the limit is refused before anything is written.
  const std::string out = dir / "out.bin";
  run = RunCabinet(
      cab,
      [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION& n) -> intptr_t {
        if (type == fdintCOPY_FILE) return ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (type == fdintCLOSE_FILE_INFO) ::close(n.hf);
        return type == fdintCLOSE_FILE_INFO ? 1 : 0;
      },
      50);
  EXPECT_FALSE(run.copied);
  EXPECT_EQ(run.erf.erfOper, FDIERROR_TARGET_FILE);
  EXPECT_EQ(ReadWholeFile(out), "");
}

TEST(CabinetEngine, MemberClaimingMoreThanItsFolderHoldsFails) {
  ScratchDir dir;
  const std::string cab = dir / "liar.cab";
  CabTestMember liar{"liar.bin", "tiny"};
  liar.claimedSize = 1 << 20;  // under the member limit: the folder check must refuse it
  WriteTestCabinet(cab, {liar});
  const std::string out = dir / "out.bin";
  CabRun run = RunCabinet(cab, [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION& n) -> intptr_t {
    if (type == fdintCOPY_FILE) return ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (type == fdintCLOSE_FILE_INFO) ::close(n.hf);
    return type == fdintCLOSE_FILE_INFO ? 1 : 0;
  });
  EXPECT_FALSE(run.copied);
  EXPECT_LE(ReadWholeFile(out).size(), 4u);
}

TEST(CabinetEngine, StoredDatesAndNamesComeThroughAsStored) {
  ScratchDir dir;
  const std::string cab = dir / "t.cab";
  CabTestMember latin{"caf\xE9.txt", "x"};  // Windows-1252 name
  CabTestMember utf{"na\xC3\xAFve.txt", "y"};
  utf.attribs = CAB_ATTR_UTF_NAME | CAB_ATTR_READONLY | CAB_ATTR_HIDDEN;
  WriteTestCabinet(cab, {latin, utf});
  const std::vector<Listed> listed = ListAll(cab);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].name, "caf\xC3\xA9.txt");
  EXPECT_EQ(listed[1].name, "na\xC3\xAFve.txt");
  EXPECT_EQ(listed[0].date, latin.date);
  EXPECT_EQ(listed[0].time, latin.time);
  EXPECT_EQ(listed[1].attribs & 0x7F, CAB_ATTR_READONLY | CAB_ATTR_HIDDEN);
  // 1999-06-15 10:30:10, local time (the tests run in UTC).
  EXPECT_EQ(DosDateTimeToTime(latin.date, latin.time), 929442610u);
}

TEST(CabinetEngine, FailureTextsNameTheStepCodeAndPath) {
  Translator().languages.clear();
  InitTranslator("", LANG_ENGLISH);
  EXPECT_STREQ(FdiErrorKey(FDIERROR_NONE), "IDS_FDIERROR_NONE");
  EXPECT_STREQ(FdiErrorKey(FDIERROR_USER_ABORT), "IDS_FDIERROR_USER_ABORT");
  EXPECT_STREQ(FdiErrorKey(12), "IDS_FDIERROR_UNKNOWN_ERROR");
  EXPECT_STREQ(FdiErrorKey(-1), "IDS_FDIERROR_UNKNOWN_ERROR");
  EXPECT_EQ(CabinetFailureText(CabinetStep::Copy, 4, "/x/a.cab"), "FDICopy() failed: code 4 [Corrupt cabinet.]");
  EXPECT_EQ(CabinetFailureText(CabinetStep::Create, 5, ""),
            "FDICreate() failed: code 5 [CAB : memory allocation failed.]");
  EXPECT_EQ(CabinetFailureText(CabinetStep::IsCabinet, 2, "/x/%s.cab"),
            "FDIIsCabinet() failed: '/x/%s.cab' is not a cabinet");
  EXPECT_EQ(CabinetFailureText(CabinetStep::Open, 1, "/x/a.cab"), "Unable to open '/x/a.cab' for input");
}

}  // namespace

namespace {

// Local times agree with mktime's reading, daylight-saving changes included.
TEST(CabinetEngine, LocalCalendarTimeAgreesWithMktime) {
  const char* saved = std::getenv("TZ");
  const std::string previous = saved ? saved : "";
  for (const char* zone : {"Europe/Paris", "America/New_York", "Australia/Lord_Howe", "UTC"}) {
    setenv("TZ", zone, 1);
    tzset();
    for (int day = 0; day < 366; day += 1) {
      for (int hour = 0; hour < 24; ++hour) {
        for (int minute : {0, 17, 30, 59}) {
          std::tm tm{};
          tm.tm_year = 2003 - 1900;
          tm.tm_mday = 1 + day;  // normalised into the months by both sides
          tm.tm_hour = hour;
          tm.tm_min = minute;
          tm.tm_sec = 58;
          tm.tm_isdst = -1;
          const time_t expected = std::mktime(&tm);
          ASSERT_EQ(LocalCalendarTime(2003, 1, 1 + day, hour, minute, 58), static_cast<uint32_t>(expected))
              << zone << " day " << day << " " << hour << ":" << minute;
        }
      }
    }
  }
  if (saved)
    setenv("TZ", previous.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace
