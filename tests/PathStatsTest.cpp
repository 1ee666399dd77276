// PathStats: the three states, the check every accessor makes first, and the
// attribute rules, on snapshots built here (Wine cannot make links or junctions).
#include <TarnIO/Error.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>

#include "TestSupport.h"

#include <functional>
#include <string>

using TarnIO::PathStats;

namespace {

PathStats Valid(unsigned long attributes, unsigned long tag = 0, DWORD high = 0, DWORD low = 0) {
    const WIN32_FILE_ATTRIBUTE_DATA data = {attributes, {111, 0}, {222, 0}, {333, 0}, high, low};
    return PathStats::FromAttributeData(data, tag);
}

// The eleven Is... tests share one definition: IsFile stands for them all.
#define ACCESSOR(name) {#name, [](const PathStats& s) { s.name(); }}
const std::pair<const char*, std::function<void(const PathStats&)>> accessors[] = {
    ACCESSOR(GetFileSize), ACCESSOR(IsFile), ACCESSOR(GetAttributes), ACCESSOR(GetReparseTag),
    ACCESSOR(GetCreateTime), ACCESSOR(GetAccessTime), ACCESSOR(GetModifyTime)};
#undef ACCESSOR

}  // namespace

TEST(PathStatsTest, ThreeStatesAndTheAccessorsThatRefuseTwo) {
    const PathStats notQueried;
    PathStats failed;  // no such file in the root of C:
    ASSERT_FALSE(TarnIO::Path(L"C:\\tarn-no-such-file").Query(failed));
    for (const auto& accessor : accessors) {
        SCOPED_TRACE(accessor.first);
        auto expect = [&](const auto& e, const char* message, const TarnTest::Names& details) {
            EXPECT_EQ(message, e.GetMessageText());
            EXPECT_EQ(std::string("TarnIO::PathStats::") + accessor.first, e.GetContext().function);
            EXPECT_STREQ(".\\PathStats", e.GetContext().file);
            EXPECT_EQ(details, TarnTest::DetailNames(e));
        };
        expect(TarnTest::CatchError<TarnError::LogicError>([&] { accessor.second(notQueried); }),
               "path attributes not queried", {});
        auto e = TarnTest::CatchError<TarnIO::PathError>([&] { accessor.second(failed); });
        expect(e, "unable to query path attributes", {"Win32Error"});
        ASSERT_NE(nullptr, e.GetInfo<TarnError::ErrorInfo_Win32Error>());
        EXPECT_EQ(2u, *e.GetInfo<TarnError::ErrorInfo_Win32Error>());  // ERROR_FILE_NOT_FOUND
    }

    PathStats copy(failed);  // copies carry every state
    copy.Reset();            // a failure reset is not queried
    EXPECT_THROW(copy.IsFile(), TarnError::LogicError);
    copy = Valid(0);
    EXPECT_EQ(111u, copy.GetCreateTime().GetTicks());
    EXPECT_EQ(222u, copy.GetAccessTime().GetTicks());
    EXPECT_EQ(333u, copy.GetModifyTime().GetTicks());
    copy = failed;
    EXPECT_THROW(copy.IsFile(), TarnIO::PathError);
    copy = notQueried;
    EXPECT_THROW(copy.IsFile(), TarnError::LogicError);
}

TEST(PathStatsTest, AttributeRules) {
    // A letter per test that holds: Directory, File, Read-only, Hidden, System,
    // Archive, deVice, reparse Point, Compressed, Encrypted, symLink.
    typedef PathStats S;
    const std::pair<char, bool (S::*)() const> tests[] = {
        {'D', &S::IsDirectory}, {'F', &S::IsFile}, {'R', &S::IsReadOnly}, {'H', &S::IsHidden},
        {'S', &S::IsSystem}, {'A', &S::IsArchive}, {'V', &S::IsDevice}, {'P', &S::IsReparsePoint},
        {'C', &S::IsCompressed}, {'E', &S::IsEncrypted}, {'L', &S::IsSymlink}};
    const unsigned long symlink = 0xA000000C, junction = 0xA0000003;
    struct Row { unsigned long attrs, tag; DWORD high, low; std::uint64_t size; const char* is; };
    const Row rows[] = {
        {0x80, 0, 0, 0, 0, "F"}, {0x4827, 0, 0, 0xFFFFFFFF, 0xFFFFFFFFull, "FRHSACE"},
        {0x10, 0, 1, 0, 1ull << 32, "D"}, {0x40, 0, 1, 705032704, 5000000000ull, "V"},
        // Links to a file and a directory, a junction, tag unknown, tag without 0x400.
        {0x400, symlink, 0, 0, 0, "PL"}, {0x410, symlink, 0, 0, 0, "DPL"},
        {0x410, junction, 0, 0, 0, "DP"}, {0x400, 0, 0, 0, 0, "P"}, {0x20, symlink, 0, 0, 0, "FA"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.attrs << " tag " << row.tag);
        const PathStats stats = Valid(row.attrs, row.tag, row.high, row.low);
        std::string is;
        for (const auto& test : tests)
            is += (stats.*test.second)() ? std::string(1, test.first) : "";
        EXPECT_EQ(row.is, is);
        EXPECT_EQ((row.attrs & 0x400) ? row.tag : 0, stats.GetReparseTag());
        EXPECT_EQ(row.size, stats.GetFileSize());
    }
}
