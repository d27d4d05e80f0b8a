#include "cabinet/Cabinet.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "cabinet/MspackIo.h"
#include "i18n/Translator.h"
#include "text/Codepage.h"

struct FDIContext {
  ERF* erf = nullptr;
  CMspackIo io;
  mscab_decompressor* decompressor = nullptr;
  uint64_t memberLimit = uint64_t(1) << 30;
};

namespace {

int MapError(int mspackError, bool extracting) {
  switch (mspackError) {
    case MSPACK_ERR_OK: return FDIERROR_NONE;
    case MSPACK_ERR_OPEN: return extracting ? FDIERROR_TARGET_FILE : FDIERROR_CABINET_NOT_FOUND;
    case MSPACK_ERR_SIGNATURE: return FDIERROR_NOT_A_CABINET;
    case MSPACK_ERR_NOMEMORY: return FDIERROR_ALLOC_FAIL;
    case MSPACK_ERR_WRITE: return FDIERROR_TARGET_FILE;
    case MSPACK_ERR_CHECKSUM:
    case MSPACK_ERR_DECRUNCH: return FDIERROR_MDI_FAIL;
    default: return FDIERROR_CORRUPT_CABINET;
  }
}

void SetError(FDIContext* ctx, int fdiError, int mspackError) {
  if (!ctx || !ctx->erf) return;
  ctx->erf->erfOper = fdiError;
  ctx->erf->erfType = mspackError;
  ctx->erf->fError = fdiError != FDIERROR_NONE;
}

uint16_t PackDosDate(const mscabd_file& f) {
  const int year = f.date_y - 1980;
  if (year < 0 || year > 127) return 0;
  return static_cast<uint16_t>((year << 9) | ((f.date_m & 0x0F) << 5) | (f.date_d & 0x1F));
}

uint16_t PackDosTime(const mscabd_file& f) {
  return static_cast<uint16_t>(((f.time_h & 0x1F) << 11) | ((f.time_m & 0x3F) << 5) | ((f.time_s & 0x3F) >> 1));
}

// Stored names are ISO-8859-1 (read as Windows-1252, as Windows did) unless
// the member says it is UTF-8.
std::string MemberName(const mscabd_file& f) {
  const std::string raw = f.filename ? f.filename : "";
  return (f.attribs & MSCAB_ATTRIB_UTF_NAME) ? SanitizeUtf8(raw) : Cp1252ToUtf8(raw);
}

bool EnoughRoomFor(int fd, uint64_t bytes) {
  struct statvfs vfs {};
  if (fstatvfs(fd, &vfs) != 0) return true;  // cannot tell: let the writes fail if they must
  return static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize >= bytes;
}

// The translated text of key with "%d" and "%s" filled in order; a language
// file's text is never used as a printf format.
std::string FillCodeAndText(const std::string& format, int code, const std::string& text) {
  std::string out;
  bool codeUsed = false;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      const char c = format[i + 1];
      if (c == 'd' && !codeUsed) {
        out += std::to_string(code);
        codeUsed = true;
        ++i;
        continue;
      }
      if (c == 's') {
        out += text;
        ++i;
        continue;
      }
      if (c == '%') {
        out += '%';
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

}  // namespace

HFDI FDICreate(ERF* erf) {
  auto* ctx = new (std::nothrow) FDIContext();
  if (!ctx) {
    if (erf) *erf = ERF{FDIERROR_ALLOC_FAIL, MSPACK_ERR_NOMEMORY, true};
    return nullptr;
  }
  ctx->erf = erf;
  ctx->decompressor = mspack_create_cab_decompressor(ctx->io.System());
  if (!ctx->decompressor) {
    SetError(ctx, FDIERROR_ALLOC_FAIL, MSPACK_ERR_NOMEMORY);
    delete ctx;
    return nullptr;
  }
  SetError(ctx, FDIERROR_NONE, MSPACK_ERR_OK);
  return ctx;
}

bool FDIDestroy(HFDI hfdi) {
  if (!hfdi) return false;
  mspack_destroy_cab_decompressor(hfdi->decompressor);
  delete hfdi;
  return true;
}

void FDISetMemberLimit(HFDI hfdi, uint64_t maxBytes) {
  if (hfdi) hfdi->memberLimit = maxBytes;
}

bool FDIIsCabinet(HFDI hfdi, int fd, FDICABINETINFO* info) {
  if (!hfdi || fd < 0) return false;
  const std::string name = CMspackIo::DescriptorName(fd);
  mscabd_cabinet* cab = hfdi->decompressor->open(hfdi->decompressor, name.c_str());
  if (!cab) {
    const int err = hfdi->decompressor->last_error(hfdi->decompressor);
    SetError(hfdi, err == MSPACK_ERR_SIGNATURE ? FDIERROR_NOT_A_CABINET : MapError(err, false), err);
    return false;
  }
  if (info) {
    *info = FDICABINETINFO{};
    info->cbCabinet = static_cast<uint32_t>(cab->length);
    for (const mscabd_folder* f = cab->folders; f; f = f->next) ++info->cFolders;
    for (const mscabd_file* f = cab->files; f; f = f->next) ++info->cFiles;
    info->setID = cab->set_id;
    info->iCabinet = cab->set_index;
    info->fReserve = (cab->flags & MSCAB_HDR_RESV) != 0;
    info->hasprev = (cab->flags & MSCAB_HDR_PREVCAB) != 0;
    info->hasnext = (cab->flags & MSCAB_HDR_NEXTCAB) != 0;
  }
  hfdi->decompressor->close(hfdi->decompressor, cab);
  SetError(hfdi, FDIERROR_NONE, MSPACK_ERR_OK);
  return true;
}

bool FDICopy(HFDI hfdi, const std::string& cabinetName, const std::string& cabinetPath, int flags,
             const FdiNotify& notify) {
  if (!hfdi) return false;
  mscab_decompressor* d = hfdi->decompressor;
  const std::string path = cabinetPath + cabinetName;
  mscabd_cabinet* cab = d->open(d, path.c_str());
  if (!cab) {
    const int err = d->last_error(d);
    SetError(hfdi, MapError(err, false), err);
    return false;
  }
  auto fail = [&](int fdiError, int mspackError) {
    d->close(d, cab);
    SetError(hfdi, fdiError, mspackError);
    return false;
  };

  FDINOTIFICATION info;
  info.psz1 = cab->nextname ? cab->nextname : "";
  info.psz2 = cab->nextinfo ? cab->nextinfo : "";
  info.psz3 = cabinetPath;
  info.setID = cab->set_id;
  info.iCabinet = cab->set_index;
  if (notify && notify(fdintCABINET_INFO, info) == -1) return fail(FDIERROR_USER_ABORT, MSPACK_ERR_OK);

  for (mscabd_file* file = cab->files; file; file = file->next) {
    FDINOTIFICATION n;
    n.cb = file->length;
    n.psz1 = MemberName(*file);
    n.date = PackDosDate(*file);
    n.time = PackDosTime(*file);
    n.attribs = static_cast<uint16_t>(file->attribs);
    n.setID = cab->set_id;
    n.iCabinet = cab->set_index;
    uint16_t folderIndex = 0;
    for (const mscabd_folder* f = cab->folders; f && f != file->folder; f = f->next) ++folderIndex;
    n.iFolder = folderIndex;
    const intptr_t answer = notify ? notify(fdintCOPY_FILE, n) : 0;
    if (answer == 0) continue;
    if (answer < 0) return fail(FDIERROR_USER_ABORT, MSPACK_ERR_OK);
    const int fd = static_cast<int>(answer);
    if (file->length > hfdi->memberLimit || !EnoughRoomFor(fd, file->length)) {
      ::close(fd);
      return fail(FDIERROR_TARGET_FILE, MSPACK_ERR_WRITE);
    }
    // Never more than the member declared, whatever the stream says.
    uint64_t written = 0;
    const uint64_t limit = file->length;
    hfdi->io.output = [fd, &written, limit](const void* data, size_t length) {
      if (written + length > limit) return false;
      for (size_t done = 0; done < length;) {
        const ssize_t n = ::write(fd, static_cast<const char*>(data) + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
      }
      written += length;
      return true;
    };
    const int err = d->extract(d, file, CMspackIo::OutputName());
    hfdi->io.output = nullptr;
    if (err != MSPACK_ERR_OK) {
      ::close(fd);
      return fail(MapError(err, true), err);
    }
    n.hf = fd;
    if (notify(fdintCLOSE_FILE_INFO, n) != 1) return fail(FDIERROR_USER_ABORT, MSPACK_ERR_OK);
  }
  d->close(d, cab);
  SetError(hfdi, FDIERROR_NONE, MSPACK_ERR_OK);
  return true;
}

const char* FdiErrorKey(int code) {
  static const char* const keys[] = {
      "IDS_FDIERROR_NONE",          "IDS_FDIERROR_CABINET_NOT_FOUND", "IDS_FDIERROR_NOT_A_CABINET",
      "IDS_FDIERROR_UNKNOWN_CABINET_VERSION", "IDS_FDIERROR_CORRUPT_CABINET", "IDS_FDIERROR_ALLOC_FAIL",
      "IDS_FDIERROR_BAD_COMPR_TYPE", "IDS_FDIERROR_MDI_FAIL",         "IDS_FDIERROR_TARGET_FILE",
      "IDS_FDIERROR_RESERVE_MISMATCH", "IDS_FDIERROR_WRONG_CABINET",  "IDS_FDIERROR_USER_ABORT",
  };
  if (code < 0 || code >= static_cast<int>(sizeof keys / sizeof keys[0])) return "IDS_FDIERROR_UNKNOWN_ERROR";
  return keys[code];
}

std::string CabinetFailureText(CabinetStep step, int code, const std::string& cabinetPath) {
  switch (step) {
    case CabinetStep::Create:
      return FillCodeAndText(Translate("IDS_FDIERROR_CREATE"), code, Translate(FdiErrorKey(code)));
    case CabinetStep::Open:
      return FillCodeAndText(Translate("IDS_FDIERROR_OPEN"), code, cabinetPath);
    case CabinetStep::IsCabinet:
      return FillCodeAndText(Translate("IDS_FDIERROR_ISCABINET"), code, cabinetPath);
    case CabinetStep::Copy:
      return FillCodeAndText(Translate("IDS_FDIERROR_COPY"), code, Translate(FdiErrorKey(code)));
    case CabinetStep::Destroy:
      return FillCodeAndText(Translate("IDS_FDIERROR_DESTROY"), code, Translate(FdiErrorKey(code)));
  }
  return {};
}

uint32_t LocalCalendarTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm want{};
  want.tm_year = year - 1900;
  want.tm_mon = month - 1;
  want.tm_mday = day;
  want.tm_hour = hour;
  want.tm_min = minute;
  want.tm_sec = second;
  // mktime re-reads the time zone on every call, which dominates listing
  // large archives; localtime_r does not. Take the fields as UTC and correct
  // by the zone's offsets half a day before and after: a time repeated when
  // the clocks go back gets the earlier instant, as mktime gives it; a time
  // skipped when they go forward is left to mktime.
  std::tm utc = want;
  const time_t asUtc = timegm(&utc);
  if (asUtc != static_cast<time_t>(-1)) {
    bool found = false;
    time_t best = 0;
    for (const time_t probe : {asUtc - 43200, asUtc + 43200}) {
      std::tm local{};
      if (!localtime_r(&probe, &local)) continue;
      const time_t t = asUtc - local.tm_gmtoff;
      if (!localtime_r(&t, &local)) continue;
      if (local.tm_year == utc.tm_year && local.tm_mon == utc.tm_mon && local.tm_mday == utc.tm_mday &&
          local.tm_hour == utc.tm_hour && local.tm_min == utc.tm_min && local.tm_sec == utc.tm_sec &&
          (!found || t < best)) {
        best = t;
        found = true;
      }
    }
    if (found) return best < 0 || best > static_cast<time_t>(UINT32_MAX) ? 0 : static_cast<uint32_t>(best);
  }
  want.tm_isdst = -1;
  const time_t t = std::mktime(&want);
  if (t == static_cast<time_t>(-1) || t < 0 || t > static_cast<time_t>(UINT32_MAX)) return 0;
  return static_cast<uint32_t>(t);
}

uint32_t DosDateTimeToTime(uint16_t date, uint16_t time) {
  return LocalCalendarTime(((date >> 9) & 0x7F) + 1980, (date >> 5) & 0x0F, date & 0x1F, (time >> 11) & 0x1F,
                           (time >> 5) & 0x3F, (time & 0x1F) * 2);
}
