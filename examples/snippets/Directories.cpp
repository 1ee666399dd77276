// examples/snippets/Directories.cpp: making and removing, saving a file whole, long paths.
#include <TarnIO/AtomicFile.h>
#include <TarnIO/Path.h>

#include <cstdint>
#include <string>

std::uint64_t DirectoriesQuickStart(const TarnIO::Path& dir) {
    TarnIO::Path app = dir.Child(L"app");
    app.Child(L"logs\\old").CreateDirs();              // false when it was there already
    TarnIO::Path settings = app.Child(L"settings.ini");
    {
        TarnIO::AtomicFile out(settings);               // writes a temporary beside it
        std::string text = "[window]\r\nwidth=640\r\n";
        out.Write(text.data(), text.size());
        out.Commit();  // flushed, then moved over settings.ini in one step
    }                  // without Commit: the temporary goes, settings.ini stays as it was
    TarnIO::Path deep = app.Extended();                 // \\?\C:\...: no MAX_PATH limit
    for (int level = 0; level < 3; ++level)
        deep.MakeChild(std::wstring(100, L'd'));
    deep.CreateDirs();
    std::uint64_t saved = settings.GetFileSize();
    app.RemoveTree();  // read-only entries too; a junction or link inside goes as a link
    return saved;
}
