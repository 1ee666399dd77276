#include "TarnIO/PathStats.h"

#include "Throw.h"

namespace TarnIO {

namespace {

const char* const sourceFile = ".\\PathStats";

const unsigned long symlinkTag = 0xA000000CUL;  // IO_REPARSE_TAG_SYMLINK

static_assert(FILE_ATTRIBUTE_READONLY == 0x1 && FILE_ATTRIBUTE_HIDDEN == 0x2 &&
                  FILE_ATTRIBUTE_SYSTEM == 0x4 && FILE_ATTRIBUTE_DIRECTORY == 0x10 &&
                  FILE_ATTRIBUTE_ARCHIVE == 0x20 && FILE_ATTRIBUTE_DEVICE == 0x40 &&
                  FILE_ATTRIBUTE_REPARSE_POINT == 0x400 && FILE_ATTRIBUTE_COMPRESSED == 0x800 &&
                  FILE_ATTRIBUTE_ENCRYPTED == 0x4000,
              "attribute bits as the snapshot documents them");

}  // namespace

PathStats::PathStats() : lastError(0), reparseTag(0), exists(false) {}

PathStats PathStats::FromAttributeData(const WIN32_FILE_ATTRIBUTE_DATA& data,
                                       unsigned long reparseTag) {
    PathStats stats;
    stats.attributeData = data;
    stats.reparseTag = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? reparseTag : 0;
    stats.exists = true;
    return stats;
}

void PathStats::Reset() {
    exists = false;
    lastError = 0;
    reparseTag = 0;
}

void PathStats::Verify(const TarnError::Context& context) const {
    if (exists)
        return;
    if (lastError == 0)
        detail::Throw<TarnError::LogicError>("path attributes not queried", context);
    detail::Throw<PathError>("unable to query path attributes", context,
                             detail::MakeErrorInfo<TarnError::ErrorInfo_Win32Error>(lastError));
}

std::uint64_t PathStats::GetFileSize() const {
    Verify(TARNIO_HERE("TarnIO::PathStats::GetFileSize"));
    return (static_cast<std::uint64_t>(attributeData.nFileSizeHigh) << 32) |
           attributeData.nFileSizeLow;
}

// The attribute tests differ only in the name they report and the bits they test.
#define TARNIO_ATTRIBUTE_TEST(Name, test)                                   \
    bool PathStats::Name() const {                                          \
        Verify(TARNIO_HERE("TarnIO::PathStats::" #Name));                   \
        const unsigned long a = attributeData.dwFileAttributes;             \
        return test;                                                        \
    }

TARNIO_ATTRIBUTE_TEST(IsDirectory, (a & FILE_ATTRIBUTE_DIRECTORY) != 0)
TARNIO_ATTRIBUTE_TEST(IsFile, (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE |
                                    FILE_ATTRIBUTE_REPARSE_POINT)) == 0)
TARNIO_ATTRIBUTE_TEST(IsReadOnly, (a & FILE_ATTRIBUTE_READONLY) != 0)
TARNIO_ATTRIBUTE_TEST(IsHidden, (a & FILE_ATTRIBUTE_HIDDEN) != 0)
TARNIO_ATTRIBUTE_TEST(IsSystem, (a & FILE_ATTRIBUTE_SYSTEM) != 0)
TARNIO_ATTRIBUTE_TEST(IsArchive, (a & FILE_ATTRIBUTE_ARCHIVE) != 0)
TARNIO_ATTRIBUTE_TEST(IsDevice, (a & FILE_ATTRIBUTE_DEVICE) != 0)
TARNIO_ATTRIBUTE_TEST(IsReparsePoint, (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
TARNIO_ATTRIBUTE_TEST(IsCompressed, (a & FILE_ATTRIBUTE_COMPRESSED) != 0)
TARNIO_ATTRIBUTE_TEST(IsEncrypted, (a & FILE_ATTRIBUTE_ENCRYPTED) != 0)
TARNIO_ATTRIBUTE_TEST(IsSymlink, (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && reparseTag == symlinkTag)

#undef TARNIO_ATTRIBUTE_TEST

unsigned long PathStats::GetAttributes() const {
    Verify(TARNIO_HERE("TarnIO::PathStats::GetAttributes"));
    return attributeData.dwFileAttributes;
}

unsigned long PathStats::GetReparseTag() const {
    Verify(TARNIO_HERE("TarnIO::PathStats::GetReparseTag"));
    return reparseTag;
}

TarnUtil::Time PathStats::GetCreateTime() const {
    Verify(TARNIO_HERE("TarnIO::PathStats::GetCreateTime"));
    return TarnUtil::Time(attributeData.ftCreationTime, TarnUtil::timeUtc);
}

TarnUtil::Time PathStats::GetAccessTime() const {
    Verify(TARNIO_HERE("TarnIO::PathStats::GetAccessTime"));
    return TarnUtil::Time(attributeData.ftLastAccessTime, TarnUtil::timeUtc);
}

TarnUtil::Time PathStats::GetModifyTime() const {
    Verify(TARNIO_HERE("TarnIO::PathStats::GetModifyTime"));
    return TarnUtil::Time(attributeData.ftLastWriteTime, TarnUtil::timeUtc);
}

}  // namespace TarnIO
