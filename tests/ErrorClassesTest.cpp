// The six error classes across the DLL boundary: made and thrown inside TarnIO,
// caught here by every base they have and by none of their siblings, also
// when cloned first.
#include <TarnIO/Error.h>

#include <gtest/gtest.h>

#include <memory>

using namespace TarnIO;

namespace {

// Which of FileReadError, FileWriteError, FileOpenError, FileError, PathError and
// TarnIO::Error catch e rethrown.
std::string CaughtBy(const TarnIO::Error& e) {
    std::string by;
    try { e.Rethrow(); } catch (const FileReadError&) { by += 'R'; } catch (...) {}
    try { e.Rethrow(); } catch (const FileWriteError&) { by += 'W'; } catch (...) {}
    try { e.Rethrow(); } catch (const FileOpenError&) { by += 'O'; } catch (...) {}
    try { e.Rethrow(); } catch (const FileError&) { by += 'F'; } catch (...) {}
    try { e.Rethrow(); } catch (const PathError&) { by += 'P'; } catch (...) {}
    try { e.Rethrow(); } catch (const TarnIO::Error&) { by += 'E'; } catch (...) {}
    return by;
}

}  // namespace

TEST(ErrorClassesTest, EachClassIsCaughtByItsBasesAndNotItsSiblings) {
    const TarnError::Context here = {".\\Test", "Test::Run", 1};
    const struct Row {
        std::shared_ptr<TarnIO::Error> error;
        std::string caughtBy;
    } rows[] = {
        {std::make_shared<FileReadError>("r", here), "RFE"},
        {std::make_shared<FileWriteError>("w", here), "WFE"},
        {std::make_shared<FileOpenError>("o", here), "OFE"},
        {std::make_shared<FileError>("f", here), "FE"},
        {std::make_shared<PathError>("p", here), "PE"},
        {std::make_shared<TarnIO::Error>("e", here), "E"},
    };
    for (const Row& row : rows) {
        const std::unique_ptr<TarnIO::Error> clone(row.error->Clone());
        EXPECT_EQ(row.caughtBy + "|" + row.caughtBy + "|" + row.error->what(),
                  CaughtBy(*row.error) + "|" + CaughtBy(*clone) + "|" + clone->what());
    }
}
