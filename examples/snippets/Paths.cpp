// examples/snippets/Paths.cpp: path text, which never touches the disk.
#include <TarnIO/Path.h>

#include <string>

void PathsQuickStart() {
    using TarnIO::Path;
    Path dir(L"C:\\data\\.\\logs\\..\\in\\");
    Path file = dir.Normalize().Child(L"report.txt");  // C:\data\in\report.txt
    std::wstring base = file.GetBaseName();            // report.txt
    Path parent = file.Parent();                       // C:\data\in
    std::wstring root = Path(L"\\\\srv\\share\\x").GetRootName();  // \\srv\share
    bool device = !Path::IsValidName(L"con");          // reserved device name
    Path notes = Path(L"%APPDATA%\\notes").ExpandEnvironmentVariables();
    Path here = Path(L"sub\\x.txt").Absolute();        // joined to the current directory
    const char* ansi = here.AsNarrowCStr();            // for narrow APIs
    (void)base, (void)root, (void)device, (void)notes, (void)ansi;
}
