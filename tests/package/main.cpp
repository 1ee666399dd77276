// A program built against the installed package the way a user builds one:
// it uses the public names the ordinary way (constants bound to references,
// every class family, each detail record of errors thrown inside the DLL)
// and exits 1 with a message at the first wrong answer. The package test
// builds it at -O0 and -O2 with warnings as errors, so a name that the DLL
// does not export or a header that warns fails the test.
#include <TarnIO/Error.h>
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileError.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathIterator.h>
#include <TarnIO/PathStats.h>
#include <TarnIO/StdFile.h>
// Included for the warning flags: public headers that the above do not bring.
#include <TarnUtil/Module.h>
#include <TarnUtil/Text.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

int checks = 0;

void Check(bool ok, const char* what, int line) {
    ++checks;
    if (!ok) {
        std::fprintf(stderr, "consumer: line %d: failed: %s\n", line, what);
        std::exit(1);
    }
}
#define CHECK(condition) Check((condition), #condition, __LINE__)

// A copy of the exception of class E that action throws.
template <class E, class Action>
E Thrown(Action action, int line) {
    try {
        action();
    } catch (const E& e) {
        return e;
    }
    Check(false, "the expected exception was not thrown", line);
    std::abort();
}

}  // namespace

int main() try {
    using namespace TarnIO;
    using TarnError::ErrorInfo_errno;
    using TarnError::ErrorInfo_invalidArgumentName;
    using TarnError::ErrorInfo_Win32Error;

    std::wstring name = L"work/sub/data.bin";
    std::replace(name.begin(), name.end(), L'/', Path::separator);
    std::vector<wchar_t> lists;
    lists.push_back(Path::listSeparator);
    const bool& caseSensitive = Path::isCaseSensitive;
    CHECK(std::max(Path::separator, L'!') == L'\\' && lists[0] == L';' && !caseSensitive);
    const Path file = Path::GetCurrentDirectoryW().Child(name);
    const Path sub = file.Parent(), dir = sub.Parent();
    CHECK(file.GetBaseName() == L"data.bin" && dir.GetBase().Compare(L"WORK") == 0);
    CHECK(CreateDirectoryW(dir.AsCStr(), nullptr) && CreateDirectoryW(sub.AsCStr(), nullptr));

    const char text[] = "written through TarnIO";
    const std::uint64_t size = sizeof text - 1;
    {
        FileHandle out(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS);
        CHECK(out.Write(text, size) == size);
    }
    {
        FileHandle handle(file);
        FileDescriptor descriptor(file);
        StdFile stdio(file, L"rb");
        File* const files[] = {&handle, &descriptor, &stdio};
        for (File* in : files) {
            std::string back;
            char word[6];
            CHECK(in->ReadAll(back) == size && back == text && in->Peek() == 0);
            CHECK(std::min(in->GetSize(), Stream::unknownSize) == size);
            CHECK(in->ReadAt(16, word, sizeof word) == 6 && std::memcmp(word, "TarnIO", 6) == 0);
        }
        PathStats stats;
        CHECK(handle.Query(stats) && stats.IsFile() && stats.GetFileSize() == size);
        CHECK(stats.GetModifyTime().GetUnixSeconds() > 1000000000);
    }
    int entries = 0;
    for (PathIterator it(dir.Child(L"*"), std::max(PathIterator::recursive, 0L));
         it != PathIterator::end; ++it) {
        PathStats stats;
        CHECK(it.Query(stats) && stats.IsDirectory() == (it.GetPath().Compare(sub) == 0));
        ++entries;
    }
    CHECK(entries == 2);

    // Each error class, each detail record, each member of the exported wrapper.
    const Path missing = dir.Child(L"missing.bin");
    const FileOpenError open = Thrown<FileOpenError>([&] { FileHandle in(missing); }, __LINE__);
    CHECK(*open.GetInfo<ErrorInfo_FileErrorCode>() == fileErrorNotFound);
    CHECK(*open.GetInfo<ErrorInfo_Win32Error>() == ERROR_FILE_NOT_FOUND);
    CHECK(*open.GetInfo<ErrorInfo_filePath>() == missing.AsNarrowString());
    CHECK(std::strstr(open.what(), "at TarnIO::FileHandle::FileHandle (") != nullptr);
    const FileError byErrno = Thrown<FileError>([&] { FileDescriptor in(missing); }, __LINE__);
    CHECK(*byErrno.GetInfo<ErrorInfo_errno>() == ENOENT);
    const PathError query = Thrown<PathError>([&] { missing.IsDirectory(); }, __LINE__);
    CHECK(query.GetInfo<ErrorInfo_path>()->Compare(missing) == 0);
    const Error rename = Thrown<Error>([&] { Path::Rename(missing, file); }, __LINE__);
    CHECK(rename.GetMessageText() == "unable to rename file");
    FileHandle writer(file, GENERIC_WRITE);
    FileDescriptor reader(file);
    char one = 0;
    const FileReadError read = Thrown<FileReadError>([&] { writer.Read(&one, 1); }, __LINE__);
    CHECK(*read.GetInfo<ErrorInfo_Win32Error>() == ERROR_ACCESS_DENIED);
    const FileWriteError write = Thrown<FileWriteError>([&] { reader.Write("x", 1); }, __LINE__);
    CHECK(write.GetInfo<ErrorInfo_errno>() != nullptr);
    const FileError seek = Thrown<FileError>([&] { reader.Seek(-1, seekBegin); }, __LINE__);
    CHECK(seek.GetMessageText() == "unable to seek in file");
    const TarnError::InvalidArgument origin = Thrown<TarnError::InvalidArgument>(
        [&] { writer.Seek(0, static_cast<SeekOrigin>(3)); }, __LINE__);
    CHECK(std::strcmp(*origin.GetInfo<ErrorInfo_invalidArgumentName>(), "origin") == 0);
    writer.Close();
    reader.Close();
    const TarnError::LogicError closed =
        Thrown<TarnError::LogicError>([&] { writer.Flush(); }, __LINE__);
    CHECK(*closed.GetInfo<ErrorInfo_FileErrorCode>() == fileErrorNotOpen);
    TarnError::ErrorInfoWrapper<ErrorInfo_FileErrorCode> info(fileErrorExists);
    std::ostringstream rendered;
    info.Render(rendered);
    CHECK(rendered.str() == "fileErrorExists (9)" && info.GetValue() == fileErrorExists);
    CHECK(info.GetType() == typeid(ErrorInfo_FileErrorCode));
    CHECK(std::strcmp(info.GetName(), "FileErrorCode") == 0);

    CHECK(DeleteFileW(file.AsCStr()) && RemoveDirectoryW(sub.AsCStr()) &&
          RemoveDirectoryW(dir.AsCStr()));
    std::printf("consumer: %d checks passed\n", checks);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "consumer: unexpected exception: %s\n", e.what());
    return 1;
}
