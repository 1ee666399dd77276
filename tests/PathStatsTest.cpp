// PathStats: the three states, the check every accessor makes first, and the
// attribute rules, on snapshots the tests build themselves (Wine cannot make
// symbolic links or junctions).
#include <TarnIO/Error.h>
#include <TarnIO/FileError.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/PathStats.h>

#include "TestSupport.h"

#include <functional>
#include <set>
#include <string>

using TarnIO::PathStats;
using TarnTest::CatchError;
using TarnTest::DetailNames;
using TarnTest::Names;

namespace {

// FileHandle(nullptr) would be ambiguous with the name constructors.
const HANDLE nullHandle = nullptr;

const unsigned long symlinkTag = 0xA000000C;     // IO_REPARSE_TAG_SYMLINK
const unsigned long mountPointTag = 0xA0000003;  // IO_REPARSE_TAG_MOUNT_POINT

FILETIME Ticks(std::uint64_t ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

PathStats Valid(unsigned long attributes, unsigned long tag = 0, DWORD sizeHigh = 0,
                DWORD sizeLow = 0) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    data.dwFileAttributes = attributes;
    data.ftCreationTime = Ticks(111);
    data.ftLastAccessTime = Ticks(222);
    data.ftLastWriteTime = Ticks(333);
    data.nFileSizeHigh = sizeHigh;
    data.nFileSizeLow = sizeLow;
    return PathStats::FromAttributeData(data, tag);
}

// A snapshot whose query failed: GetFileInformationByHandle on a null handle,
// which FileHandle counts as open, fails with ERROR_INVALID_HANDLE.
PathStats Failed() {
    PathStats stats;
    TarnIO::FileHandle file(nullHandle);
    EXPECT_FALSE(file.Query(stats));
    file.Release();
    EXPECT_EQ(static_cast<unsigned long>(ERROR_INVALID_HANDLE), stats.GetQueryError());
    return stats;
}

struct Accessor {
    const char* name;
    std::function<void(const PathStats&)> call;
};

const Accessor accessors[] = {
    {"GetFileSize", [](const PathStats& s) { s.GetFileSize(); }},
    {"IsDirectory", [](const PathStats& s) { s.IsDirectory(); }},
    {"IsFile", [](const PathStats& s) { s.IsFile(); }},
    {"IsReadOnly", [](const PathStats& s) { s.IsReadOnly(); }},
    {"IsHidden", [](const PathStats& s) { s.IsHidden(); }},
    {"IsSystem", [](const PathStats& s) { s.IsSystem(); }},
    {"IsArchive", [](const PathStats& s) { s.IsArchive(); }},
    {"IsDevice", [](const PathStats& s) { s.IsDevice(); }},
    {"IsReparsePoint", [](const PathStats& s) { s.IsReparsePoint(); }},
    {"IsCompressed", [](const PathStats& s) { s.IsCompressed(); }},
    {"IsEncrypted", [](const PathStats& s) { s.IsEncrypted(); }},
    {"IsSymlink", [](const PathStats& s) { s.IsSymlink(); }},
    {"GetAttributes", [](const PathStats& s) { s.GetAttributes(); }},
    {"GetReparseTag", [](const PathStats& s) { s.GetReparseTag(); }},
    {"GetCreateTime", [](const PathStats& s) { s.GetCreateTime(); }},
    {"GetAccessTime", [](const PathStats& s) { s.GetAccessTime(); }},
    {"GetModifyTime", [](const PathStats& s) { s.GetModifyTime(); }},
};

}  // namespace

TEST(PathStatsTest, NotQueriedThrowsLogicErrorNamingTheAccessor) {
    const PathStats stats;
    EXPECT_FALSE(stats.Exists());
    EXPECT_EQ(0u, stats.GetQueryError());
    for (const Accessor& accessor : accessors) {
        SCOPED_TRACE(accessor.name);
        auto e = CatchError<TarnError::LogicError>([&] { accessor.call(stats); });
        EXPECT_EQ("path attributes not queried", e.GetMessageText());
        EXPECT_EQ(std::string("TarnIO::PathStats::") + accessor.name, e.GetContext().function);
        EXPECT_STREQ(".\\PathStats", e.GetContext().file);
        EXPECT_GT(e.GetContext().line, 0);
        EXPECT_EQ(0u, e.GetInfoCount());
    }
}

TEST(PathStatsTest, FailedQueryThrowsPathErrorWithTheWin32Error) {
    const PathStats stats = Failed();
    EXPECT_FALSE(stats.Exists());
    for (const Accessor& accessor : accessors) {
        SCOPED_TRACE(accessor.name);
        auto e = CatchError<TarnIO::PathError>([&] { accessor.call(stats); });
        EXPECT_EQ("unable to query path attributes", e.GetMessageText());
        EXPECT_EQ(std::string("TarnIO::PathStats::") + accessor.name, e.GetContext().function);
        EXPECT_STREQ(".\\PathStats", e.GetContext().file);
        EXPECT_EQ(Names{"Win32Error"}, DetailNames(e));
        ASSERT_NE(nullptr, e.GetInfo<TarnError::ErrorInfo_Win32Error>());
        EXPECT_EQ(static_cast<unsigned long>(ERROR_INVALID_HANDLE),
                  *e.GetInfo<TarnError::ErrorInfo_Win32Error>());
    }
    // Throwing changed nothing.
    EXPECT_EQ(static_cast<unsigned long>(ERROR_INVALID_HANDLE), stats.GetQueryError());
}

TEST(PathStatsTest, ResetAndCopyCarryTheState) {
    PathStats failed = Failed();
    failed.Reset();
    EXPECT_EQ(0u, failed.GetQueryError());
    EXPECT_THROW(failed.IsFile(), TarnError::LogicError);

    PathStats valid = Valid(FILE_ATTRIBUTE_ARCHIVE, 0, 0, 42);
    PathStats copy(valid);
    EXPECT_TRUE(copy.Exists());
    EXPECT_EQ(42u, copy.GetFileSize());
    valid.Reset();
    EXPECT_FALSE(valid.Exists());
    EXPECT_THROW(valid.GetFileSize(), TarnError::LogicError);
    EXPECT_EQ(42u, copy.GetFileSize());  // the copy is independent

    // Assignment copies the not-queried and failed states too.
    copy = PathStats();
    EXPECT_FALSE(copy.Exists());
    EXPECT_THROW(copy.IsFile(), TarnError::LogicError);
    copy = Failed();
    EXPECT_THROW(copy.IsFile(), TarnIO::PathError);
    copy = Valid(FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(copy.IsDirectory());
    EXPECT_EQ(0u, copy.GetQueryError());
}

TEST(PathStatsTest, AttributeRules) {
    struct Row {
        const char* name;
        unsigned long attributes;
        unsigned long tag;
        std::set<std::string> expectedTrue;
    };
    const Row rows[] = {
        {"plain file", FILE_ATTRIBUTE_NORMAL, 0, {"IsFile"}},
        {"archive", 0x20, 0, {"IsFile", "IsArchive"}},
        {"read-only hidden system", 0x7, 0, {"IsFile", "IsReadOnly", "IsHidden", "IsSystem"}},
        {"compressed encrypted", 0x4800, 0, {"IsFile", "IsCompressed", "IsEncrypted"}},
        {"directory", 0x10, 0, {"IsDirectory"}},
        {"device", 0x40, 0, {"IsDevice"}},
        {"symlink to a file", 0x420, symlinkTag, {"IsReparsePoint", "IsSymlink", "IsArchive"}},
        {"symlink to a directory", 0x410, symlinkTag,
         {"IsDirectory", "IsReparsePoint", "IsSymlink"}},
        {"junction", 0x410, mountPointTag, {"IsDirectory", "IsReparsePoint"}},
        {"reparse point, tag unknown", 0x400, 0, {"IsReparsePoint"}},
        {"symlink tag without the reparse bit", 0x20, symlinkTag, {"IsFile", "IsArchive"}},
    };
    typedef bool (PathStats::*Test)() const;
    const std::pair<const char*, Test> tests[] = {
        {"IsDirectory", &PathStats::IsDirectory},   {"IsFile", &PathStats::IsFile},
        {"IsReadOnly", &PathStats::IsReadOnly},     {"IsHidden", &PathStats::IsHidden},
        {"IsSystem", &PathStats::IsSystem},         {"IsArchive", &PathStats::IsArchive},
        {"IsDevice", &PathStats::IsDevice},         {"IsReparsePoint", &PathStats::IsReparsePoint},
        {"IsCompressed", &PathStats::IsCompressed}, {"IsEncrypted", &PathStats::IsEncrypted},
        {"IsSymlink", &PathStats::IsSymlink},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const PathStats stats = Valid(row.attributes, row.tag);
        EXPECT_TRUE(stats.Exists());
        EXPECT_EQ(row.attributes, stats.GetAttributes());
        EXPECT_EQ((row.attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? row.tag : 0,
                  stats.GetReparseTag());
        for (const auto& test : tests)
            EXPECT_EQ(row.expectedTrue.count(test.first) == 1, (stats.*test.second)())
                << test.first;
    }
}

TEST(PathStatsTest, SizesAndTimes) {
    struct Row {
        DWORD high;
        DWORD low;
        std::uint64_t expected;
    };
    const Row rows[] = {
        {0, 0, 0},
        {0, 0xFFFFFFFF, 4294967295ull},
        {1, 0, 4294967296ull},
        {1, 705032704, 5000000000ull},
        {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFFFFFFFFFFull},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(row.expected, Valid(0x20, 0, row.high, row.low).GetFileSize());
    }
    const PathStats stats = Valid(0x20);
    EXPECT_EQ(111u, stats.GetCreateTime().GetTicks());
    EXPECT_EQ(222u, stats.GetAccessTime().GetTicks());
    EXPECT_EQ(333u, stats.GetModifyTime().GetTicks());
}
