// The six error classes across the DLL boundary: thrown inside TarnIO's
// code paths, caught here by every base they have and by none of their
// siblings; cloned and rethrown by their dynamic class.
#include <TarnIO/Error.h>
#include <TarnIO/FileError.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace TarnIO;

class ErrorClassesTest;  // the attaching tag of these tests

namespace {

const TarnError::Context here = {".\\Test", "Test::Run", 1};

// Which handlers, tried in this order, catch a rethrown error.
struct Caught {
    bool fileRead = false, fileWrite = false, fileOpen = false, fileError = false;
    bool path = false, error = false, runtime = false, root = false, standard = false;
};

Caught Probe(const TarnError::Error& e) {
    Caught c;
    try { e.Rethrow(); } catch (const FileReadError&) { c.fileRead = true; } catch (...) {}
    try { e.Rethrow(); } catch (const FileWriteError&) { c.fileWrite = true; } catch (...) {}
    try { e.Rethrow(); } catch (const FileOpenError&) { c.fileOpen = true; } catch (...) {}
    try { e.Rethrow(); } catch (const FileError&) { c.fileError = true; } catch (...) {}
    try { e.Rethrow(); } catch (const PathError&) { c.path = true; } catch (...) {}
    try { e.Rethrow(); } catch (const TarnIO::Error&) { c.error = true; } catch (...) {}
    try { e.Rethrow(); } catch (const std::runtime_error&) { c.runtime = true; } catch (...) {}
    try { e.Rethrow(); } catch (const TarnError::Error&) { c.root = true; } catch (...) {}
    try { e.Rethrow(); } catch (const std::exception&) { c.standard = true; } catch (...) {}
    return c;
}

}  // namespace

TEST(ErrorClassesTest, EachClassIsCaughtByItsBasesAndNotItsSiblings) {
    struct Row {
        std::shared_ptr<TarnError::Error> error;
        bool fileRead, fileWrite, fileOpen, fileError, path;
    } rows[] = {
        {std::make_shared<FileReadError>("r", here), true, false, false, true, false},
        {std::make_shared<FileWriteError>("w", here), false, true, false, true, false},
        {std::make_shared<FileOpenError>("o", here), false, false, true, true, false},
        {std::make_shared<FileError>("f", here), false, false, false, true, false},
        {std::make_shared<PathError>("p", here), false, false, false, false, true},
        {std::make_shared<TarnIO::Error>("e", here), false, false, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.error->GetMessageText());
        Caught c = Probe(*row.error);
        EXPECT_EQ(row.fileRead, c.fileRead);
        EXPECT_EQ(row.fileWrite, c.fileWrite);
        EXPECT_EQ(row.fileOpen, c.fileOpen);
        EXPECT_EQ(row.fileError, c.fileError);
        EXPECT_EQ(row.path, c.path);
        EXPECT_TRUE(c.error && c.runtime && c.root && c.standard);
    }
}

TEST(ErrorClassesTest, MisuseErrorsAreNotLibraryErrors) {
    TarnError::InvalidArgument invalid("invalid argument", here);
    bool caughtAsLibraryError = false;
    try {
        invalid.Rethrow();
    } catch (const TarnIO::Error&) {
        caughtAsLibraryError = true;
    } catch (const TarnError::InvalidArgument&) {
    }
    EXPECT_FALSE(caughtAsLibraryError);
}

TEST(ErrorClassesTest, CloneAndRethrowThroughABaseKeepTheClassAndDetails) {
    FileOpenError original("unable to open file", here);
    TarnError::ErrorInfoAttacher<ErrorClassesTest>::Attach(
        original, std::make_shared<const TarnError::ErrorInfoWrapper<ErrorInfo_FileErrorCode>>(
                      fileErrorNotFound));
    const TarnIO::Error& asBase = original;
    std::unique_ptr<TarnIO::Error> clone(asBase.Clone());
    ASSERT_NE(nullptr, dynamic_cast<FileOpenError*>(clone.get()));
    EXPECT_STREQ(original.what(), clone->what());
    ASSERT_NE(nullptr, clone->GetInfo<ErrorInfo_FileErrorCode>());
    EXPECT_EQ(fileErrorNotFound, *clone->GetInfo<ErrorInfo_FileErrorCode>());
    EXPECT_THROW(asBase.Rethrow(), FileOpenError);

    PathError path("unable to query path attributes", here);
    const TarnError::RuntimeError& asRuntime = path;
    EXPECT_THROW(asRuntime.Rethrow(), PathError);
}

TEST(ErrorClassesTest, AssignmentThroughTheClassCopiesMessageAndContext) {
    FileReadError a("first", here);
    FileReadError b("second", TarnError::Context{".\\Other", "Other::Op", 9});
    a = b;
    EXPECT_STREQ(b.what(), a.what());
    EXPECT_STREQ("Other::Op", a.GetContext().function);
}
