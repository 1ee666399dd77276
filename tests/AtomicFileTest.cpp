// AtomicFile: a commit replaces the target whole, anything else leaves it as it was, and no
// temporary outlives the object; readers never see a mix while commits go on.
#include <TarnIO/AtomicFile.h>
#include <TarnIO/Error.h>
#include <TarnIO/FileError.h>
#include <TarnIO/FileHandle.h>

#include "TestSupport.h"

#include <atomic>
#include <thread>

using TarnIO::AtomicFile;
using TarnIO::Path;
using TarnTest::Thrown;

namespace {

typedef TarnTest::TempDirTest AtomicFileTest;

enum End { commit, closed, destroyed };

}  // namespace

TEST_F(AtomicFileTest, CommitReplacesAndNothingElseTouchesTheTarget) {
    MakeDir(L"d");
    const DWORD hs = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const std::string denied = "unable to replace file; FileErrorCode=fileErrorAccessDenied; "
                               "Win32Error=5; path=";
    // The target's content before (null: none) and attributes, how the object ends, and the
    // target's content and attributes afterwards, after what Commit threw.
    struct Row {
        const wchar_t* name; const char* old; DWORD attributes; End end; std::string after;
    } rows[] = {
        {L"new.txt", nullptr, 0, commit, "new!"}, {L"d\\old.txt", "old", 0, commit, "new!"},
        {L"old.txt", "old", 0, closed, "old"}, {L"old.txt", "old", 0, destroyed, "old"},
        {L"hs.txt", "old", hs, commit, "new! hs"}, {L"hs.txt", "old", hs, closed, "old hs"},
        {L"ro.txt", "old", FILE_ATTRIBUTE_READONLY, commit, denied + "ro.txt | old r"},
        {L"d", nullptr, 0, commit, denied + "d | (directory)"},
    };
    const std::string prefix = Path(In(L"")).AsNarrowString();
    for (const Row& row : rows) {
        const Path target(In(row.name));
        SCOPED_TRACE(target.AsNarrowString() + " " + std::to_string(row.end));
        if (row.old)
            ::SetFileAttributesW(MakeFile(row.name, row.old).c_str(), row.attributes);
        std::string after;
        {
            AtomicFile out(target);
            const Path temporary = out.GetTemporaryPath();
            EXPECT_EQ(target.AsString() + L".~",
                      temporary.AsString().substr(0, target.GetLength() + 2));
            TarnIO::File& file = out;  // a File like any other
            file.Write("xew!", 4);
            file.WriteAt(0, "n", 1);
            std::string content;
            file.Seek(0, TarnIO::seekBegin);
            file.ReadAll(content);
            file.Flush();
            EXPECT_EQ("new!", content);
            EXPECT_EQ(row.old ? row.old : "", row.old ? ReadBack(target.AsString()) : "");
            if (row.end == commit) {
                const std::string thrown = Thrown<TarnIO::FileWriteError>([&] { out.Commit(); });
                if (thrown != "nothing thrown")
                    after = thrown.substr(thrown.find(": ") + 2) + " | ";
            }
            if (row.end == closed)
                out.Close();
            EXPECT_EQ(row.end != destroyed, !out.IsOpen() && out.GetTemporaryPath().IsEmpty());
            EXPECT_EQ(row.end == destroyed, temporary.Exists());
        }
        for (const std::string& name : TarnTest::Listing(dir))  // no temporary is left
            EXPECT_EQ(std::string::npos, name.find(".~")) << name;
        const DWORD attributes = ::GetFileAttributesW(target.AsCStr());
        const bool directory = attributes & FILE_ATTRIBUTE_DIRECTORY;
        after += directory ? "(directory)" : ReadBack(target.AsString());
        after += attributes & hs ? " hs" : attributes & FILE_ATTRIBUTE_READONLY ? " r" : "";
        for (std::size_t at; (at = after.find(prefix)) != std::string::npos;)
            after.erase(at, prefix.size());
        EXPECT_EQ(row.after, after);
        ::SetFileAttributesW(target.AsCStr(), FILE_ATTRIBUTE_NORMAL);
    }
    // A file holding the next name (a leftover) is passed over, never reused.
    {
        AtomicFile first(Path(In(L"x")));
        std::wstring next = first.GetTemporaryPath().AsString();
        const std::size_t count = next.rfind(L'-') + 1;
        wchar_t hex[16];
        std::swprintf(hex, 16, L"%lx.tmp", std::wcstoul(next.c_str() + count, nullptr, 16) + 1);
        MakeFile(next.replace(count, std::wstring::npos, hex).substr(dir.size() + 1), "left");
        EXPECT_NE(next, AtomicFile(Path(In(L"x"))).GetTemporaryPath().AsString());
        EXPECT_EQ("left", ReadBack(next));
        ::DeleteFileW(next.c_str());
    }
    // A missing directory (the temporary's name is named), an empty target, a second Commit.
    const std::string missing = ".\\AtomicFile TarnIO::AtomicFile::AtomicFile: unable to open "
                                "file; FileErrorCode=fileErrorNotFound; Win32Error=3; filePath=" +
                                prefix + "no\\x.~";
    EXPECT_EQ(missing, Thrown<TarnIO::FileOpenError>([&] { AtomicFile{Path(In(L"no\\x"))}; })
                           .substr(0, missing.size()));
    EXPECT_EQ(".\\AtomicFile TarnIO::AtomicFile::AtomicFile: invalid argument; "
              "invalidArgumentName=target",
              Thrown<TarnError::InvalidArgument>([] { AtomicFile{Path()}; }));
    AtomicFile twice(Path(In(L"twice")));
    twice.Commit();
    EXPECT_EQ(".\\AtomicFile TarnIO::AtomicFile::Commit: file not open; "
              "FileErrorCode=fileErrorNotOpen",
              Thrown<TarnError::LogicError>([&] { twice.Commit(); }));
}

// Two readers read the target whole again and again while versions of it are committed: each
// read is one version, all of one letter, of the length that letter's version has. The system
// refuses to replace a file while a reader has it open, so the readers leave it closed for a
// moment between reads, and each version is committed again until it goes in.
TEST_F(AtomicFileTest, ReadersSeeTheOldContentOrTheNewNeverAMix) {
    auto version = [](int v) { return std::string(20000 + 977 * v, char('A' + v)); };
    const Path target(MakeFile(L"shared.txt", version(0)));
    std::atomic<bool> done(false);
    std::atomic<int> reads(0), mixed(0);
    auto reader = [&] {
        for (; !done; ::Sleep(1)) {
            try {
                TarnIO::FileHandle in(target, GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
                std::string content;
                in.ReadAll(content);
                ++reads;
                mixed += content != version(content.empty() ? 0 : content[0] - 'A');
            } catch (const TarnIO::FileOpenError&) {  // while the names change: again
            }
        }
    };
    std::thread first(reader), second(reader);
    int refused = 0, v = 1;
    while (v < 26 && refused < 1000) {
        AtomicFile out(target);
        const std::string content = version(v);
        for (std::size_t at = 0; at < content.size(); at += 1000)
            out.Write(content.data() + at, std::min<std::size_t>(1000, content.size() - at));
        try {
            out.Commit();
            ++v;
        } catch (const TarnIO::FileWriteError&) {
            ++refused;
        }
    }
    done = true;
    first.join(), second.join();
    EXPECT_EQ(26, v) << refused << " commits refused";
    EXPECT_EQ(0, mixed) << "of " << reads << " reads";
}
