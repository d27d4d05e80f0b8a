// The cabinet engine: lists and extracts the members of CAB archives through
// a create / is-cabinet / copy / destroy interface with a notification
// callback, in the manner of the Windows FDI interface, over libmspack.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

enum FDIERROR : int {
  FDIERROR_NONE = 0,
  FDIERROR_CABINET_NOT_FOUND = 1,
  FDIERROR_NOT_A_CABINET = 2,
  FDIERROR_UNKNOWN_CABINET_VERSION = 3,
  FDIERROR_CORRUPT_CABINET = 4,
  FDIERROR_ALLOC_FAIL = 5,
  FDIERROR_BAD_COMPR_TYPE = 6,
  FDIERROR_MDI_FAIL = 7,
  FDIERROR_TARGET_FILE = 8,
  FDIERROR_RESERVE_MISMATCH = 9,
  FDIERROR_WRONG_CABINET = 10,
  FDIERROR_USER_ABORT = 11,
};

// Error record filled by every call on a context.
struct ERF {
  int erfOper = FDIERROR_NONE;  // the FDI error code
  int erfType = 0;              // the underlying libmspack error code
  bool fError = false;
};

struct FDICABINETINFO {
  uint32_t cbCabinet = 0;
  uint16_t cFolders = 0;
  uint16_t cFiles = 0;
  uint16_t setID = 0;
  uint16_t iCabinet = 0;
  bool fReserve = false;
  bool hasprev = false;
  bool hasnext = false;
};

enum FDINOTIFICATIONTYPE {
  fdintCABINET_INFO,
  fdintPARTIAL_FILE,
  fdintCOPY_FILE,
  fdintCLOSE_FILE_INFO,
  fdintNEXT_CABINET,
  fdintENUMERATE,
};

// Attribute bits of a stored member (Win32 values).
enum : uint16_t {
  CAB_ATTR_READONLY = 0x01,
  CAB_ATTR_HIDDEN = 0x02,
  CAB_ATTR_SYSTEM = 0x04,
  CAB_ATTR_ARCHIVE = 0x20,
  CAB_ATTR_EXEC = 0x40,
  CAB_ATTR_UTF_NAME = 0x80,
};

struct FDINOTIFICATION {
  // COPY_FILE: uncompressed size of the member.
  uint32_t cb = 0;
  // COPY_FILE, CLOSE_FILE_INFO: the stored path, UTF-8, "\" separators, as
  // stored (nothing is cleaned: callers that write files must). CABINET_INFO:
  // the next cabinet's name.
  std::string psz1;
  // CABINET_INFO: the next disk's name; psz3 the cabinet's directory.
  std::string psz2;
  std::string psz3;
  // CLOSE_FILE_INFO: the descriptor that COPY_FILE returned.
  int hf = -1;
  // Local DOS date and time of the member, and its attribute bits.
  uint16_t date = 0;
  uint16_t time = 0;
  uint16_t attribs = 0;
  uint16_t setID = 0;
  uint16_t iCabinet = 0;
  uint16_t iFolder = 0;
};

// COPY_FILE answers 0 to skip the member, -1 to abort, or an open file
// descriptor the member is written to; CLOSE_FILE_INFO then owns closing it
// and answers 1 (0 or -1 abort). Other notifications answer 0 (-1 aborts).
using FdiNotify = std::function<intptr_t(FDINOTIFICATIONTYPE, FDINOTIFICATION&)>;

struct FDIContext;
using HFDI = FDIContext*;

// A new context reporting into erf (which must outlive it); null on failure.
HFDI FDICreate(ERF* erf);
// True when the open file fd holds a cabinet; fills info when given. The
// descriptor stays open and is left at an unspecified position.
bool FDIIsCabinet(HFDI hfdi, int fd, FDICABINETINFO* info);
// Walks the members of cabinetPath + cabinetName, notifying for each.
bool FDICopy(HFDI hfdi, const std::string& cabinetName, const std::string& cabinetPath, int flags,
             const FdiNotify& notify);
bool FDIDestroy(HFDI hfdi);

// Members longer than this are refused when asked for (FDIERROR_TARGET_FILE),
// so that a hostile cabinet cannot fill the disk. The default is 1 GiB.
void FDISetMemberLimit(HFDI hfdi, uint64_t maxBytes);

// Message key of an FDI error code ("IDS_FDIERROR_NONE" ... "IDS_FDIERROR_UNKNOWN_ERROR").
const char* FdiErrorKey(int code);

// The composed failure texts of the cabinet reader, translated.
enum class CabinetStep { Create, Open, IsCabinet, Copy, Destroy };
std::string CabinetFailureText(CabinetStep step, int code, const std::string& cabinetPath);

// Local calendar time to seconds since 1970; 0 when it cannot be represented.
uint32_t LocalCalendarTime(int year, int month, int day, int hour, int minute, int second);
// Local DOS date and time to seconds since 1970 (0 when not representable).
uint32_t DosDateTimeToTime(uint16_t date, uint16_t time);
