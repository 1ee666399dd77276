// AtomicFile: a commit replaces the target whole, anything else leaves it as it was, no
// temporary outlives the object, and readers never see a mix while commits go on.
#include <TarnIO/AtomicFile.h>
#include <TarnIO/Error.h>
#include <TarnIO/FileHandle.h>

#include "TestSupport.h"

#include <atomic>
#include <thread>

using TarnIO::AtomicFile;
using TarnIO::Path;

namespace {

typedef TarnTest::TempDirTest AtomicFileTest;

enum End { commit, closed, destroyed };

}  // namespace

TEST_F(AtomicFileTest, CommitReplacesAndNothingElseTouchesTheTarget) {
    MakeDir(L"d");
    const DWORD hs = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, ro = FILE_ATTRIBUTE_READONLY;
    const DWORD shown = hs | ro | FILE_ATTRIBUTE_DIRECTORY;
    // The target's content before (null: none) and attributes, how the object ends; then the
    // Win32 error Commit threw, the target's content and attributes (of shown).
    struct Row {
        const wchar_t* name; const char* old; DWORD attributes; End end; std::string after;
    };
    const Row rows[] = {
        {L"new.txt", nullptr, 0, commit, "new! 0"},
        {L"old.txt", "old", 0, closed, "old 0"},
        {L"old.txt", "old", 0, destroyed, "old 0"},
        {L"hs.txt", "old", hs, commit, "new! 6"},
        {L"ro.txt", "old", ro, commit, "5 old 1"},
        {L"d", nullptr, 0, commit, "5 16"},
    };
    for (const Row& row : rows) {
        const Path target(In(row.name));
        SCOPED_TRACE(&row - rows);
        if (row.old)
            ::SetFileAttributesW(MakeFile(row.name, row.old).c_str(), row.attributes);
        std::string after;
        {
            AtomicFile out(target);
            const Path temporary = out.GetTemporaryPath();
            char content[5] = {};
            out.Write("xew!", 4), out.WriteAt(0, "n", 1), out.ReadAt(0, content, 4);
            EXPECT_STREQ("new!", content);
            EXPECT_EQ(row.old ? row.old : "", row.old ? ReadBack(target.AsString()) : "");
            try {
                row.end == commit ? out.Commit() : row.end == closed ? out.Close() : void();
            } catch (const TarnIO::FileWriteError& e) {
                after = std::to_string(*e.GetInfo<TarnError::ErrorInfo_Win32Error>()) + " ";
            }
            EXPECT_EQ(row.end != destroyed, !out.IsOpen() && out.GetTemporaryPath().IsEmpty());
            EXPECT_EQ(row.end == destroyed, temporary.Exists());
        }
        for (const std::string& name : TarnTest::Listing(dir))  // no temporary is left
            EXPECT_EQ(std::string::npos, name.find(".~")) << name;
        const DWORD attributes = ::GetFileAttributesW(target.AsCStr()) & shown;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            after += ReadBack(target.AsString()) + " ";
        EXPECT_EQ(row.after, after + std::to_string(attributes));
        ::SetFileAttributesW(target.AsCStr(), FILE_ATTRIBUTE_NORMAL);
    }
    // A file holding the next name (a leftover) is passed over, never reused.
    AtomicFile first(Path(In(L"x")));
    std::wstring next = first.GetTemporaryPath().AsString();
    const std::size_t count = next.rfind(L'-') + 1;
    wchar_t hex[16];
    std::swprintf(hex, 16, L"%lx.tmp", std::wcstoul(next.c_str() + count, nullptr, 16) + 1);
    MakeFile(next.replace(count, std::wstring::npos, hex).substr(dir.size() + 1), "left");
    EXPECT_NE(next, AtomicFile(Path(In(L"x"))).GetTemporaryPath().AsString());
    EXPECT_EQ("left", ReadBack(next));
    // Misuse: an empty target, a second Commit.
    EXPECT_EQ(".\\AtomicFile TarnIO::AtomicFile::AtomicFile: invalid argument; "
              "invalidArgumentName=target",
              TarnTest::Thrown<TarnError::InvalidArgument>([] { AtomicFile{Path()}; }));
    first.Commit();
    EXPECT_EQ(".\\AtomicFile TarnIO::AtomicFile::Commit: file not open; "
              "FileErrorCode=fileErrorNotOpen",
              TarnTest::Thrown<TarnError::LogicError>([&] { first.Commit(); }));
}

// Two readers read the target whole while 25 versions are committed, each written in pieces:
// each read is one whole version (one letter, that version's length). The system refuses to
// replace a file a reader holds open, so readers pause between reads and a refused commit is
// made again.
TEST_F(AtomicFileTest, ReadersSeeTheOldContentOrTheNewNeverAMix) {
    auto version = [](int v) { return std::string(20000 + 977 * v, char('A' + v)); };
    const Path target(MakeFile(L"shared.txt", version(0)));
    std::atomic<int> v(1), reads(0), mixed(0), refused(0);
    auto reader = [&] {
        const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        for (std::string in; v < 26 && refused < 1000; ::Sleep(1)) try {
                TarnIO::FileHandle(target, GENERIC_READ, all).ReadAll(in = "");
                ++reads, mixed += in != version(in.empty() ? 0 : in[0] - 'A');
            } catch (const TarnIO::FileOpenError&) {  // while the names change
            }
    };
    std::thread first(reader), second(reader);
    while (v < 26 && refused < 1000) try {
            AtomicFile out(target);
            const std::string content = version(v);
            for (std::size_t at = 0; at < content.size(); at += 100)
                out.Write(content.data() + at, std::min<std::size_t>(100, content.size() - at));
            out.Commit(), ++v;
        } catch (const TarnIO::FileWriteError&) {
            ++refused;
        }
    first.join(), second.join();
    EXPECT_EQ(26, v) << refused << " commits refused";
    EXPECT_EQ(0, mixed) << "of " << reads << " reads";
}
