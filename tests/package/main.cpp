// Uses a Path, a FileHandle and an exception thrown inside TarnIO.dll, as a
// program built against the installed package would.
#include <TarnIO/Error.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <cstdio>
#include <string>

int main() {
    TarnIO::Path dir = TarnIO::Path::GetCurrentDirectoryW();
    TarnIO::Path file = dir.Child(L"sub\\..\\consumer.txt").Normalize();
    std::printf("base=%s\n", file.GetBase().AsNarrowCStr());

    const char text[] = "written through TarnIO";
    {
        TarnIO::FileHandle out(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS);
        out.Write(text, sizeof text - 1);
    }
    TarnIO::FileHandle in(file);
    std::string back;
    in.ReadAll(back);
    in.Close();
    DeleteFileW(file.AsCStr());
    std::printf("size=%llu text=%s\n", static_cast<unsigned long long>(back.size()),
                back.c_str());

    try {
        TarnIO::FileHandle missing(dir.Child(L"no-such-file.bin"));
        std::printf("opened a missing file\n");
    } catch (const TarnIO::FileOpenError& e) {
        std::printf("caught=%s\n", e.GetMessageText().c_str());
    }
    return 0;
}
