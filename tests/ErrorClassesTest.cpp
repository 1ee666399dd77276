// The six error classes, thrown inside the DLL: caught by their bases, not their siblings.
#include <TarnIO/Error.h>

#include <gtest/gtest.h>

#include <memory>

using namespace TarnIO;

namespace {

template <class Handler>
char Catches(const Error& e, char letter) {
    try {
        e.Rethrow();
    } catch (const Handler&) {
        return letter;
    } catch (...) {
    }
    return '-';
}

}  // namespace

TEST(ErrorClassesTest, EachClassIsCaughtByItsBasesAndNotItsSiblings) {
    const TarnError::Context here = {".\\Test", "Test::Run", 1};
    const struct Row {
        std::shared_ptr<Error> error;
        const char* caughtBy;  // FileReadError, FileWriteError, FileOpenError, FileError, PathError
    } rows[] = {
        {std::make_shared<FileReadError>("r", here), "R--F-"},
        {std::make_shared<FileWriteError>("w", here), "-W-F-"},
        {std::make_shared<FileOpenError>("o", here), "--OF-"},
        {std::make_shared<FileError>("f", here), "---F-"},
        {std::make_shared<PathError>("p", here), "----P"},
        {std::make_shared<Error>("e", here), "-----"},
    };
    for (const Row& row : rows) {
        const Error& e = *row.error;
        const std::string caughtBy = {
            Catches<FileReadError>(e, 'R'), Catches<FileWriteError>(e, 'W'),
            Catches<FileOpenError>(e, 'O'), Catches<FileError>(e, 'F'), Catches<PathError>(e, 'P')};
        EXPECT_EQ(row.caughtBy, caughtBy) << e.what();
    }
}
