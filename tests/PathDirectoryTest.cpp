// Path's making and removing on real files; the reparse-point cases, which Wine cannot
// make, are in internal/FindHandleTest.cpp, the system's failures in the fault sweep.
#include <TarnIO/AtomicFile.h>
#include <TarnIO/Error.h>
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileError.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathIterator.h>
#include <TarnIO/PathStats.h>
#include <TarnIO/StdFile.h>

#include "TestSupport.h"

#include <map>

using TarnIO::Path;

namespace {

typedef TarnTest::TempDirTest PathDirectoryTest;
typedef bool (Path::*Operation)() const;

template <class T> std::string N(T value) { return std::to_string(value); }
template <class F> std::string ReadAll(F&& file) { std::string s; file.ReadAll(s); return s; }

const std::map<std::string, std::pair<Operation, std::string>> operations = {
    {"CreateDir", {&Path::CreateDir, "unable to create directory"}},
    {"CreateDirs", {&Path::CreateDirs, "unable to create directory"}},
    {"RemoveFile", {&Path::RemoveFile, "unable to remove file"}},
    {"RemoveDir", {&Path::RemoveDir, "unable to remove directory"}},
    {"RemoveTree", {&Path::RemoveTree, "unable to remove directory tree"}},
};

// "1" or "0" as the operation answers, "invalid path" for the misuse it refuses, or
// "<Win32 error> <path below dir>" for a TarnIO::Error of the operation's own Context and
// message with the details FileErrorCode, Win32Error and path (in that order, agreeing).
std::string Outcome(const std::string& name, const std::wstring& dir, const std::wstring& text) {
    const auto& [operation, message] = operations.at(name);
    try {
        return std::to_string((Path(text).*operation)());
    } catch (const TarnError::InvalidArgument& e) {
        return "invalid " + std::string(*e.GetInfo<TarnError::ErrorInfo_invalidArgumentName>());
    } catch (const TarnIO::Error& e) {
        const unsigned long win32 = *e.GetInfo<TarnError::ErrorInfo_Win32Error>();
        const std::wstring failed = e.GetInfo<TarnIO::ErrorInfo_path>()->AsString();
        const bool below = failed.compare(0, dir.size() + 1, dir + L"\\") == 0;
        const std::string path =
            Path(below ? failed.substr(dir.size() + 1) : failed).AsNarrowString();
        const bool shape =
            typeid(e) == typeid(TarnIO::Error) && e.GetMessageText() == message &&
            e.GetContext().function == "TarnIO::Path::" + name &&
            std::string(e.GetContext().file) == ".\\Path" &&
            TarnTest::DetailNames(e) == TarnTest::Names{"FileErrorCode", "Win32Error", "path"} &&
            *e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>() == TarnIO::MapFileErrorWin32(win32);
        return (shape ? "" : "not as documented: " + std::string(e.what()) + ": ") +
               std::to_string(win32) + " " + path;
    }
}

}  // namespace

TEST_F(PathDirectoryTest, MakeAndRemove) {
    MakeFile(L"f.txt", "f"), MakeDir(L"d"), MakeFile(L"d\\x.txt"), MakeDir(L"e");
    ASSERT_TRUE(::SetFileAttributesW(MakeFile(L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    // In order: each row sees what the rows before it left.
    struct Row { const char* operation; std::wstring path; std::string outcome; } rows[] = {
        {"CreateDir", L"new", "1"}, {"CreateDir", L"new\\", "0"},
        {"CreateDir", L"f.txt", "183 f.txt"}, {"CreateDir", L"no\\x", "3 no\\x"},
        {"CreateDirs", L"a\\b\\\\c\\", "1"}, {"CreateDirs", L"a\\b\\c", "0"},
        {"CreateDirs", L"a", "0"}, {"CreateDir", L"a\\b\\c\\d", "1"},
        {"CreateDirs", L"f.txt\\x\\y", "183 f.txt"}, {"CreateDirs", L"a\\f", "1"},
        {"RemoveFile", L"missing", "0"}, {"RemoveFile", L"no\\x", "0"}, {"RemoveFile", L"d", "5 d"},
        {"RemoveFile", L"ro.txt", "5 ro.txt"}, {"RemoveFile", L"d\\x.txt", "1"},
        {"RemoveDir", L"a", "145 a"}, {"RemoveDir", L"f.txt", "267 f.txt"},
        {"RemoveDir", L"d", "1"}, {"RemoveDir", L"d", "0"}, {"RemoveTree", L"no\\x", "0"},
        {"RemoveTree", L"ro.txt", "1"}, {"RemoveTree", L"a\\", "1"}, {"RemoveTree", L"a", "0"},
        {"RemoveFile", L"f.txt", "1"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.outcome, Outcome(row.operation, dir, In(row.path)))
            << row.operation << " " << Path(row.path).AsNarrowString();
    // Relative paths go against the current directory ("ab" is no drive).
    wchar_t saved[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.c_str()));
    const bool made = Path(L"ab\\c").CreateDirs(), listed = Path(In(L"ab\\c")).Exists();
    const bool removed = Path(L"ab").RemoveTree();
    ::SetCurrentDirectoryW(saved);  // a current directory cannot be removed
    EXPECT_TRUE(made && listed && removed);
    // What stands now, and the misuse each refuses.
    EXPECT_EQ(TarnTest::Names({"e", "new"}), TarnTest::Listing(dir));
    for (const auto& operation : operations)  // roots: internal/RemoveTreeTest.cpp
        EXPECT_EQ("invalid path", Outcome(operation.first, dir, L"")) << operation.first;
}

// Read-only entries go; a failure does not stop the rest, and names the entry.
TEST_F(PathDirectoryTest, RemoveTreeGoesOnPastAFailure) {
    for (const wchar_t* name : {L"t", L"t\\a", L"t\\a\\b", L"t\\c", L"t\\c\\d"})
        MakeDir(name);
    for (const wchar_t* name : {L"t\\1", L"t\\a\\2", L"t\\a\\b\\3", L"t\\c\\4", L"t\\c\\d\\5"})
        ::SetFileAttributesW(MakeFile(name).c_str(), FILE_ATTRIBUTE_READONLY);
    {
        TarnIO::FileHandle held(Path(In(L"t\\a\\b\\3")));  // shares no deletion
        EXPECT_EQ("32 t\\a\\b\\3", Outcome("RemoveTree", dir, In(L"t")));
        EXPECT_EQ(TarnTest::Names({"t", "t\\a", "t\\a\\b", "t\\a\\b\\3"}), TarnTest::Listing(dir));
    }
    EXPECT_EQ("1", Outcome("RemoveTree", dir, In(L"t")));
    EXPECT_EQ(TarnTest::Names(), TarnTest::Listing(dir));
}

// Every backend, query, the walk, Rename and the operations above on a file whose path in
// extended form is 300 and 1,000 characters long, in directories of 200 characters.
TEST_F(PathDirectoryTest, ExtendedPathsOf300And1000Characters) {
    for (std::size_t length : {300u, 1000u}) {
        const Path top = Path(In(L"long")).Extended();
        std::wstring deep = top.AsString();
        while (length - deep.size() > 210)
            deep += L"\\" + std::wstring(200, L'd');
        const Path d(deep), p(deep + L"\\" + std::wstring(length - deep.size() - 1, L'f'));
        const Path moved(p.AsString().substr(0, length - 1) + L"m"), sub = d.Child(L"sub");
        ASSERT_EQ(length, p.GetLength());
        using TarnIO::FileHandle;
        struct Row { const char* operations; std::function<std::string()> run; std::string result; }
        rows[] = {
            {"CreateDirs", [&] { return N(d.CreateDirs()); }, "1"},
            {"FileHandle", [&] {
                 return N(FileHandle(p, GENERIC_WRITE, 0, nullptr, CREATE_NEW).IsOpen());
             }, "1"},
            {"AtomicFile", [&] {
                 TarnIO::AtomicFile out(p);
                 return out.Write("long", 4), out.Commit(), "";
             }, ""},
            {"FileDescriptor", [&] { return ReadAll(TarnIO::FileDescriptor(p)); }, "long"},
            {"StdFile", [&] { return ReadAll(TarnIO::StdFile(p, L"rb")); }, "long"},
            {"Exists IsReadable IsWritable", [&] {
                 return N(p.Exists()) + N(p.IsReadable()) + N(p.IsWritable());
             }, "111"},
            {"Query IsFile IsDirectory GetFileSize", [&] {
                 TarnIO::PathStats stats;
                 return N(p.Query(stats) && stats.IsFile()) + N(p.IsFile()) + N(d.IsDirectory()) +
                        N(p.GetFileSize());
             }, "1114"},
            {"PathIterator", [&] {
                 std::string seen;
                 for (TarnIO::PathIterator it(top.Child(L"*"), 1); !it.IsDone(); it.Next())
                     seen += it.IsDirectory() ? "" : N(it.GetPath().GetLength());
                 return seen;
             }, N(length)},
            {"Rename", [&] { return Path::Rename(p, moved), N(moved.Exists() + p.Exists()); }, "1"},
            {"CreateDir RemoveDir", [&] {
                 const bool made = sub.CreateDir();
                 return N(made && sub.RemoveDir());
             }, "1"},
            {"RemoveFile", [&] { return N(moved.RemoveFile()); }, "1"},
            {"RemoveTree", [&] {
                 const bool removed = top.RemoveTree();
                 return N(removed && !top.Exists());
             }, "1"},
        };
        for (const Row& row : rows) {
            std::string result;
            try {
                result = row.run();
            } catch (const std::exception& e) {
                result = e.what();
            }
            EXPECT_EQ(row.result, result) << row.operations << ", " << length << " characters";
        }
    }
}
