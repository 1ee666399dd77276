// Path syntax: drives, UNC mount points, roots, Split, MakeParent, MakeChild and Join.
#include <TarnIO/Path.h>

#include <gtest/gtest.h>

#include <string>

using TarnIO::Path;

// '/' is no separator but part of UNC names; an empty share name counts, a prefix such as
// "\\?\" means nothing of its own.
TEST(PathSyntaxTest, Roots) {
    const struct Row {
        const wchar_t* text;
        char kind;  // 'd' has a drive letter, 'u' is UNC, '-' neither
        const wchar_t* root;
        bool absolute;
    } rows[] = {
        {L"Z:name", 'd', L"Z:", false},
        {L"A:\\x", 'd', L"A:", true},
        {L"a:", 'd', L"a:", false},
        {L"z:\\x", 'd', L"z:", true},
        {L"C:/x", 'd', L"C:", false},
        {L":", '-', L"", false},
        {L"@:\\x", '-', L"", false},
        {L"[:", '-', L"", false},
        {L"\x00C4:\\x", '-', L"", false},
        {L"\\\\s\\x", 'u', L"\\\\s\\x", true},  // the shortest
        {L"\\\\s\\sh\\d", 'u', L"\\\\s\\sh", true},
        {L"\\\\srv\\\\x", 'u', L"\\\\srv\\", true},
        {L"\\\\?\\C:\\x", 'u', L"\\\\?\\C:", true},
        {L"\\\\a/b\\c/d\\e", 'u', L"\\\\a/b\\c/d", true},
        {L"\\\\srv", '-', L"", true},
        {L"\\\\srv\\", '-', L"", true},
        {L"//srv/shr", '-', L"", false},
        {L"\\", '-', L"", true},
        {L"\\\\\\xy", '-', L"", true},
        {L"", '-', L"", false},
    };
    for (const Row& row : rows) {
        const Path p(row.text);
        const bool unc = p.IsUnc();
        const std::wstring drive = p.GetDriveName(), mount = p.GetUncMountPointName();
        const std::wstring root = p.GetRootName();
        const bool paths = drive + mount + root == p.GetDrivePath().AsString() +
                                                       p.GetUncMountPoint().AsString() +
                                                       p.GetRoot().AsString();
        EXPECT_EQ(std::wstring(1, row.kind) + L"01"[row.absolute] + row.root + L"|" + row.root +
                      L"|1",
                  std::wstring(p.HasDriveLetter() ? (unc ? L"!" : L"d") : unc ? L"u" : L"-") +
                      L"01"[p.IsAbsolute()] + drive + mount + L"|" + root + L"|" + L"01"[paths])
            << row.text;
    }
}

// ASCII texts: the narrow form shows the text, and one left over from an earlier text.
TEST(PathSyntaxTest, SplitAndMakeParent) {
    const struct Row {
        const char *text, *directory, *base;
    } rows[] = {
        {"C:\\a", "C:\\", "a"},
        {"C:\\", "C:\\", ""},
        {"C:\\\\a", "C:\\", "a"},
        {"C:\\a\\\\\\b", "C:\\a", "b"},
        {"a\\b\\", "a\\b", ""},
        {"\\a", "\\", "a"},
        {"\\\\\\a", "\\", "a"},
        {"\\", "\\", ""},
        {"a", "", "a"},
        {"a/b\\c/d", "a/b", "c/d"},
        {"C:", "C:", ""},
        {"C:name", "C:", "name"},
        {"C:a:b", "C:a:", "b"},
        {"1:x", "", "1:x"},
        {"\\\\?\\C:\\x", "\\\\?\\C:", "x"},  // no root rule for UNC mount points
    };
    auto both = [](const Path& d, const Path& b) {
        return d.AsNarrowString() + "|" + b.AsNarrowString();
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const std::string expected = std::string(row.directory) + "|" + row.base;
        const Path path(row.text);
        std::wstring directory = L"old", base = L"old";
        path.Split(&directory, &base);
        EXPECT_EQ(expected, both(directory, base));
        EXPECT_EQ(expected, both(path.GetDirectoryName(), path.GetBase()));
        EXPECT_EQ(expected, both(path.GetDirectory(), path.GetBaseName()));
        path.Split(static_cast<std::wstring*>(nullptr), &(base = L"old"));  // null is skipped
        path.Split(static_cast<Path*>(nullptr), static_cast<Path*>(nullptr));
        EXPECT_EQ(row.base, Path(base).AsNarrowString());
        // Either output may be the path itself; with both, the base name wins.
        Path self("old"), other("old");
        path.Split(&self, &other);
        EXPECT_EQ(expected, both(self, other));
        (self = path).Split(&self, &other);
        EXPECT_EQ(expected, both(self, other));
        (self = path).Split(&other, &self);
        EXPECT_EQ(expected, both(other, self));
        (self = path).Split(&self, &self);
        EXPECT_EQ(row.base, self.AsNarrowString());
        std::wstring& text = const_cast<std::wstring&>((self = path).AsString());
        self.Split(&text, &base);  // the text itself as the directory output
        EXPECT_EQ(expected, both(Path(text), Path(base)));
        EXPECT_EQ(row.directory, (self = path).MakeParent().AsNarrowString());  // a root is kept
    }
}

// Only one trailing backslash is looked at; text only: nothing is normalized.
TEST(PathSyntaxTest, MakeChildAndJoin) {
    const struct Row {
        const char *parent, *child, *result;
    } rows[] = {
        {"C:\\dir", "x", "C:\\dir\\x"},
        {"C:\\dir\\", "x", "C:\\dir\\x"},
        {"C:", "x", "C:\\x"},
        {"", "x", "x"},
        {"a/", "b", "a/\\b"},
        {"C:\\dir", "\\x", "\\x"},
        {"C:\\dir", "D:\\x", "D:\\x"},
        {"C:\\dir", "D:x", "C:\\dir\\D:x"},
        {"C:\\dir\\\\", "x", "C:\\dir\\\\x"},
        {"C:\\dir", "", "C:\\dir\\"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.parent) + " + " + row.child);
        const Path parent(row.parent), child(row.child);
        Path path(row.parent);  // a narrow form that must not outlive the text
        EXPECT_EQ(row.result, path.MakeChild(child).AsNarrowString());
        EXPECT_EQ(row.result, Path::Join(parent, child).AsNarrowString());
    }
    Path path(L"a\\b"), rooted(L"\\r");  // a path as its own child
    EXPECT_EQ(L"a\\b\\a\\b", path.MakeChild(path).AsString());
    EXPECT_EQ(L"\\r", rooted.MakeChild(rooted).AsString());
}
