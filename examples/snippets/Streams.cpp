// examples/snippets/Streams.cpp: one interface, three backends.
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/StdFile.h>

#include <string>

// Works the same on any backend.
std::string Slurp(TarnIO::Stream& in) {
    std::string content;
    in.ReadAll(content);  // one Read when the size is known
    return content;
}

void StreamsQuickStart(const TarnIO::Path& dir) {
    TarnIO::Path name = dir.Child(L"hello.txt");
    {
        // A Win32 handle: the CreateFile arguments after the name.
        TarnIO::FileHandle out(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS);
        out.Write("hello, file\n", 12);
        out.Flush();
    }  // closed here
    TarnIO::FileDescriptor fd(name);         // _O_RDONLY | _O_BINARY by default
    TarnIO::StdFile stdio(name, L"rb");      // a FILE* with its buffer
    std::string a = Slurp(fd), b = Slurp(stdio);

    TarnIO::FileHandle in(name);             // reading, sharing reads, must exist
    char tail[5];
    in.ReadAt(7, tail, sizeof tail);         // "file\n"; the position stays at 0
    (void)a, (void)b;
}
