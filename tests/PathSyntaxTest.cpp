// Path syntax: drives, UNC mount points, roots, Split and its getters,
// MakeParent, MakeChild and Join.
#include <TarnIO/Path.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

using TarnIO::Path;

namespace {

// The narrow form a path must hand out for its current text.
std::string NarrowOf(const std::wstring& text) {
    return Path(text).AsNarrowString();
}

}  // namespace

TEST(PathSyntaxTest, DriveLetter) {
    struct Row {
        const wchar_t* text;
        bool hasDrive;
        const wchar_t* driveName;
    } rows[] = {
        {L"C:", true, L"C:"},        {L"z:\\x", true, L"z:"},   {L"c:\\dir", true, L"c:"},
        {L"C:name", true, L"C:"},    {L"1:\\x", false, L""},    {L":", false, L""},
        {L"C", false, L""},          {L"\\\\srv\\shr", false, L""}, {L"dir", false, L""},
        {L"", false, L""},           {L"@:\\x", false, L""},    {L"[:", false, L""},
        {L"\\\\?\\C:\\x", false, L""}, {L"\x00C4:\\x", false, L""},  // a non-ASCII letter
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "input: \"" << row.text << "\"");
        Path path(row.text);
        EXPECT_EQ(row.hasDrive, path.HasDriveLetter());
        EXPECT_EQ(row.driveName, path.GetDriveName());
        EXPECT_EQ(row.driveName, path.GetDrivePath().AsString());
    }
}

TEST(PathSyntaxTest, IsUnc) {
    struct Row {
        const wchar_t* text;
        bool unc;
        const wchar_t* mountPoint;
    } rows[] = {
        {L"\\\\srv\\shr", true, L"\\\\srv\\shr"},
        {L"\\\\srv\\shr\\dir", true, L"\\\\srv\\shr"},
        {L"\\\\srv\\shr\\", true, L"\\\\srv\\shr"},
        {L"\\\\srv\\\\x", true, L"\\\\srv\\"},  // empty share name
        {L"\\\\?\\C:\\x", true, L"\\\\?\\C:"},  // the long-path prefix, by the same rule
        {L"\\\\.\\COM1", true, L"\\\\.\\COM1"},
        {L"\\\\s\\t", true, L"\\\\s\\t"},  // the shortest: 5 characters
        {L"\\\\a/b\\c/d\\e", true, L"\\\\a/b\\c/d"},  // '/' is part of the names
        {L"\\\\srv", false, nullptr},
        {L"\\\\srv\\", false, nullptr},       // nothing after the server's backslash
        {L"\\\\\\xy", false, nullptr},        // a third backslash right after the first two
        {L"\\\\s\\", false, nullptr},         // too short
        {L"//srv/shr", false, nullptr},
        {L"\\srv\\shr", false, nullptr},
        {L"C:\\srv\\shr", false, nullptr},
        {L"", false, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "input: \"" << row.text << "\"");
        Path path(row.text);
        unsigned end = 12345;
        EXPECT_EQ(row.unc, path.IsUnc(&end));
        EXPECT_EQ(row.unc, path.IsUnc());
        const std::wstring expected = row.unc ? row.mountPoint : L"";
        if (row.unc)
            EXPECT_EQ(expected.size(), end);
        else
            EXPECT_EQ(12345u, end) << "nothing may be stored for a path that is not UNC";
        EXPECT_EQ(expected, path.GetUncMountPointName());
        EXPECT_EQ(expected, path.GetUncMountPoint().AsString());
    }
}

TEST(PathSyntaxTest, RootAndIsAbsolute) {
    struct Row {
        const wchar_t* text;
        const wchar_t* root;
        bool absolute;
    } rows[] = {
        {L"C:\\a\\b", L"C:", true},
        {L"C:\\", L"C:", true},
        {L"C:", L"C:", false},
        {L"C:x", L"C:", false},
        {L"C:/x", L"C:", false},  // '/' is no separator
        {L"\\\\srv\\shr\\a", L"\\\\srv\\shr", true},
        {L"\\\\srv\\shr", L"\\\\srv\\shr", true},
        {L"\\\\srv", L"", true},  // not UNC, still absolute: it starts with '\'
        {L"\\\\?\\C:\\x", L"\\\\?\\C:", true},
        {L"\\a", L"", true},
        {L"\\", L"", true},
        {L"a", L"", false},
        {L"/a", L"", false},
        {L"", L"", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "input: \"" << row.text << "\"");
        Path path(row.text);
        EXPECT_EQ(row.root, path.GetRootName());
        EXPECT_EQ(row.root, path.GetRoot().AsString());
        EXPECT_EQ(row.absolute, path.IsAbsolute());
    }
}

TEST(PathSyntaxTest, Split) {
    struct Row {
        const wchar_t* text;
        const wchar_t* directory;
        const wchar_t* base;
    } rows[] = {
        {L"C:\\a\\b", L"C:\\a", L"b"},
        {L"C:\\a", L"C:\\", L"a"},
        {L"C:\\", L"C:\\", L""},
        {L"C:\\\\a", L"C:\\", L"a"},
        {L"C:\\\\", L"C:\\", L""},
        {L"C:\\a\\\\\\b", L"C:\\a", L"b"},
        {L"a\\\\b", L"a", L"b"},
        {L"a\\b\\", L"a\\b", L""},
        {L"\\a", L"\\", L"a"},
        {L"\\\\\\a", L"\\", L"a"},
        {L"\\", L"\\", L""},
        {L"a", L"", L"a"},
        {L"a/b", L"", L"a/b"},
        {L"a/b\\c/d", L"a/b", L"c/d"},
        {L"", L"", L""},
        {L"C:name", L"C:", L"name"},
        {L"C:", L"C:", L""},
        {L"C:a:b", L"C:a:", L"b"},  // cut at the last colon
        {L"C:x\\y", L"C:x", L"y"},
        {L"C:\\x", L"C:\\", L"x"},
        {L"\\\\srv\\shr", L"\\\\srv", L"shr"},  // no special case for UNC
        {L"\\\\srv", L"\\", L"srv"},
        {L"\\\\?\\C:\\x", L"\\\\?\\C:", L"x"},
        {L"1:x", L"", L"1:x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "input: \"" << row.text << "\"");
        const Path path(row.text);

        std::wstring directory = L"old", base = L"old";
        path.Split(&directory, &base);
        EXPECT_EQ(row.directory, directory);
        EXPECT_EQ(row.base, base);

        Path directoryPath("old"), basePath("old");
        ASSERT_STREQ("old", directoryPath.AsNarrowCStr());
        path.Split(&directoryPath, &basePath);
        EXPECT_EQ(row.directory, directoryPath.AsString());
        EXPECT_EQ(row.base, basePath.AsString());
        EXPECT_EQ(NarrowOf(row.directory), directoryPath.AsNarrowString());
        EXPECT_EQ(NarrowOf(row.base), basePath.AsNarrowString());

        // Null outputs are skipped.
        std::wstring only = L"old";
        path.Split(&only, static_cast<std::wstring*>(nullptr));
        EXPECT_EQ(row.directory, only);
        path.Split(static_cast<std::wstring*>(nullptr), &only);
        EXPECT_EQ(row.base, only);
        path.Split(static_cast<Path*>(nullptr), static_cast<Path*>(nullptr));

        EXPECT_EQ(row.directory, path.GetDirectoryName());
        EXPECT_EQ(row.directory, path.GetDirectory().AsString());
        EXPECT_EQ(row.directory, path.Parent().AsString());
        EXPECT_EQ(row.base, path.GetBaseName());
        EXPECT_EQ(row.base, path.GetBase().AsString());
        EXPECT_EQ(row.text, path.AsString());
    }
}

TEST(PathSyntaxTest, SplitIntoItself) {
    struct Row {
        const wchar_t* text;
        const wchar_t* directory;
        const wchar_t* base;
    } rows[] = {
        {L"C:\\a\\b", L"C:\\a", L"b"},
        {L"C:name", L"C:", L"name"},
        {L"\\a", L"\\", L"a"},
        {L"a", L"", L"a"},
        {L"a\\\\b", L"a", L"b"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "input: \"" << row.text << "\"");
        {
            Path path(row.text);
            Path base;
            path.AsNarrowCStr();
            path.Split(&path, &base);
            EXPECT_EQ(row.directory, path.AsString());
            EXPECT_EQ(row.base, base.AsString());
            EXPECT_EQ(NarrowOf(row.directory), path.AsNarrowString());
        }
        {
            Path path(row.text);
            Path directory;
            path.AsNarrowCStr();
            path.Split(&directory, &path);
            EXPECT_EQ(row.directory, directory.AsString());
            EXPECT_EQ(row.base, path.AsString());
            EXPECT_EQ(NarrowOf(row.base), path.AsNarrowString());
        }
        {
            // Directory written first, then the base name over it.
            Path path(row.text);
            path.Split(&path, &path);
            EXPECT_EQ(row.base, path.AsString());
        }
    }
}

TEST(PathSyntaxTest, MakeParent) {
    struct Row {
        const wchar_t* text;
        const wchar_t* chain[4];  // successive parents; the last one repeats
    } rows[] = {
        {L"C:\\a\\b", {L"C:\\a", L"C:\\", L"C:\\", L"C:\\"}},
        {L"a", {L"", L"", L"", L""}},
        {L"a\\b\\c", {L"a\\b", L"a", L"", L""}},
        {L"\\a\\b", {L"\\a", L"\\", L"\\", L"\\"}},
        {L"C:a\\b", {L"C:a", L"C:", L"C:", L"C:"}},
        {L"C:name", {L"C:", L"C:", L"C:", L"C:"}},
        {L"\\\\srv\\shr\\x", {L"\\\\srv\\shr", L"\\\\srv", L"\\", L"\\"}},
        {L"a\\\\b\\", {L"a\\\\b", L"a", L"", L""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "input: \"" << row.text << "\"");
        // Built from narrow text, so the narrow form is there from the start;
        // each step must replace it with the form of the new text.
        std::string narrow(row.text, row.text + wcslen(row.text));
        Path path(narrow.c_str());
        for (const wchar_t* expected : row.chain) {
            Path& same = path.MakeParent();
            EXPECT_EQ(&path, &same);
            EXPECT_EQ(expected, path.AsString());
            EXPECT_EQ(NarrowOf(expected), path.AsNarrowCStr());
        }
    }
}

TEST(PathSyntaxTest, MakeChild) {
    struct Row {
        const wchar_t* parent;
        const wchar_t* child;
        const wchar_t* result;
    } rows[] = {
        {L"C:\\dir", L"x", L"C:\\dir\\x"},
        {L"C:\\dir\\", L"x", L"C:\\dir\\x"},
        {L"C:", L"x", L"C:\\x"},
        {L"", L"x", L"x"},
        {L"", L"", L""},
        {L"C:\\dir", L"\\x", L"\\x"},
        {L"C:\\dir", L"D:\\x", L"D:\\x"},
        {L"C:\\dir", L"\\\\srv\\shr", L"\\\\srv\\shr"},
        {L"C:\\dir", L"D:x", L"C:\\dir\\D:x"},
        {L"C:\\dir", L"", L"C:\\dir\\"},
        {L"C:\\dir\\\\", L"x", L"C:\\dir\\\\x"},  // only one trailing backslash is looked at
        {L"a", L"b\\c", L"a\\b\\c"},
        {L"a/", L"b", L"a/\\b"},
        {L"\\\\srv\\shr", L"x", L"\\\\srv\\shr\\x"},
        {L"a", L"..\\b", L"a\\..\\b"},  // text only: nothing is normalized
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "parent: \"" << row.parent << "\", child: \"" << row.child << "\"");
        const Path parent(row.parent), child(row.child);

        Path path(row.parent);
        Path& same = path.MakeChild(child);
        EXPECT_EQ(&path, &same);
        EXPECT_EQ(row.result, path.AsString());

        EXPECT_EQ(row.result, Path::Join(parent, child).AsString());
        EXPECT_EQ(row.result, parent.Child(child).AsString());
        EXPECT_EQ(row.result, Path(parent, child).AsString());
        EXPECT_EQ(row.parent, parent.AsString());
        EXPECT_EQ(row.child, child.AsString());
    }
}

TEST(PathSyntaxTest, MakeChildKeepsTheNarrowCacheTrue) {
    // Appending: the parent's old narrow form must go.
    Path parent("C:\\dir");
    ASSERT_STREQ("C:\\dir", parent.AsNarrowCStr());
    parent.MakeChild(Path(L"x"));
    EXPECT_STREQ("C:\\dir\\x", parent.AsNarrowCStr());

    // Taking over an absolute child: its narrow form comes along, byte for
    // byte, even where it differs from a conversion of the wide text.
    const char bytes[] = "\\\xFF";
    Path child(bytes);
    Path other("C:\\dir");
    other.AsNarrowCStr();
    other.MakeChild(child);
    EXPECT_EQ(child.AsString(), other.AsString());
    EXPECT_STREQ(bytes, other.AsNarrowCStr());

    Path empty;
    empty.MakeChild(Path(L"rel"));
    EXPECT_STREQ("rel", empty.AsNarrowCStr());
}

TEST(PathSyntaxTest, MakeChildOfItself) {
    Path path(L"a\\b");
    path.MakeChild(path);
    EXPECT_EQ(L"a\\b\\a\\b", path.AsString());
    Path rooted(L"\\r");
    rooted.MakeChild(rooted);
    EXPECT_EQ(L"\\r", rooted.AsString());
}

// Random texts from an alphabet that favours the characters the syntax
// looks at. Seeded, so a failure repeats.
TEST(PathSyntaxTest, PropertiesOfRandomTexts) {
    const wchar_t alphabet[] = L"\\\\\\\\//::..%$%{}()*?aBcZ\0 1";
    const std::size_t alphabetSize = sizeof alphabet / sizeof alphabet[0] - 1;  // keeps the NUL
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> pick(0, alphabetSize - 1);
    std::uniform_int_distribution<std::size_t> length(0, 14);
    auto makeText = [&]() {
        std::wstring text(length(random), L'x');
        for (wchar_t& c : text)
            c = alphabet[pick(random)];
        return text;
    };

    for (int i = 0; i < 40000; ++i) {
        const std::wstring text = makeText();
        const std::wstring childText = makeText();
        SCOPED_TRACE(testing::Message() << "i: " << i);
        const Path path(text);

        unsigned end = 0;
        if (path.IsUnc(&end)) {
            ASSERT_LE(end, text.size()) << "input: " << testing::PrintToString(text);
            ASSERT_EQ(text.substr(0, end), path.GetUncMountPointName());
        }

        // Split gives a prefix and a suffix of the text that do not overlap,
        // and the base name holds no separator.
        std::wstring directory, base;
        path.Split(&directory, &base);
        ASSERT_LE(directory.size() + base.size(), text.size())
            << "input: " << testing::PrintToString(text);
        ASSERT_EQ(text.substr(0, directory.size()), directory);
        ASSERT_EQ(text.substr(text.size() - base.size()), base);
        ASSERT_EQ(std::wstring::npos, base.find(L'\\'));

        // A relative child is appended: the parent's text stays a prefix.
        const Path child(childText);
        const Path joined = Path::Join(path, child);
        if (!child.IsAbsolute() && !path.IsEmpty()) {
            ASSERT_EQ(text, joined.AsString().substr(0, text.size()))
                << "parent: " << testing::PrintToString(text)
                << ", child: " << testing::PrintToString(childText);
            ASSERT_EQ(childText, joined.AsString().substr(joined.GetLength() - childText.size()));
        } else {
            ASSERT_EQ(childText, joined.AsString());
        }
    }
}
