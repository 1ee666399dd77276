// Runs the README's snippets against a scratch directory, so that they not
// only compile but also do what the README says they do.
#include <TarnIO/Path.h>
#include <TarnIO/Stream.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

void PathsQuickStart();
void StreamsQuickStart(const TarnIO::Path& dir);
std::string Slurp(TarnIO::Stream& in);
void InspectionQuickStart(const TarnIO::Path& path);
std::uint64_t TotalSize(const TarnIO::Path& dir);
bool OpenOrReport(const wchar_t* name);
std::uint64_t DirectoriesQuickStart(const TarnIO::Path& dir);

int main() {
    wchar_t temp[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    TarnIO::Path dir = TarnIO::Path(std::wstring(temp, length))
                           .Child(L"tarn-snippets-" + std::to_wstring(::GetCurrentProcessId()));
    if (!dir.CreateDir())
        return 1;

    int failures = 0;
    auto check = [&failures](bool ok, const char* what) {
        std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
        failures += ok ? 0 : 1;
    };
    try {
        PathsQuickStart();
        StreamsQuickStart(dir);
        InspectionQuickStart(dir.Child(L"hello.txt"));
        check(TotalSize(dir) == 12, "TotalSize counts the 12 bytes written");
        check(OpenOrReport(dir.Child(L"missing.txt").AsCStr()), "a missing file is reported");
        check(DirectoriesQuickStart(dir) == 21, "the saved file holds its 21 bytes");
        check(!dir.Child(L"app").Exists(), "the tree is gone");
        dir.Child(L"hello.txt").RemoveFile();
        check(dir.RemoveDir(), "nothing was left open");
    } catch (const std::exception& e) {
        std::printf("FAILED: %s\n", e.what());
        ++failures;
    }
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
