// Path syntax: drives, UNC mount points, roots, Split, MakeParent, MakeChild and Join.
#include <TarnIO/Path.h>

#include <gtest/gtest.h>

#include <string>

using TarnIO::Path;

// '/' is no separator but part of UNC names; an empty share name counts.
TEST(PathSyntaxTest, Roots) {
    // Kind ('d' drive letter, 'u' UNC, '-' neither), absolute, then the root.
    const struct Row { const wchar_t *text, *expected; } rows[] = {
        {L"Z:name", L"d0Z:"},
        {L"A:\\x", L"d1A:"},
        {L"a:", L"d0a:"},
        {L"z:\\x", L"d1z:"},
        {L"C:/x", L"d0C:"},
        {L":", L"-0"},
        {L"@:\\x", L"-0"},
        {L"[:", L"-0"},
        {L"\x00C4:\\x", L"-0"},
        {L"\\\\s\\x", L"u1\\\\s\\x"},  // the shortest
        {L"\\\\srv\\\\x", L"u1\\\\srv\\"},
        {L"\\\\a/b\\c/d\\e", L"u1\\\\a/b\\c/d"},
        {L"\\\\srv", L"-1"},
        {L"\\\\srv\\", L"-1"},
        {L"//srv/shr", L"-0"},
        {L"\\\\\\xy", L"-1"},
        {L"", L"-0"},
    };
    for (const Row& row : rows) {
        const Path p(row.text);
        const bool unc = p.IsUnc();
        const std::wstring root = p.GetRootName();
        EXPECT_EQ(row.expected, (p.HasDriveLetter() ? (unc ? L"!" : L"d") : unc ? L"u" : L"-") +
                                    std::wstring(1, L"01"[p.IsAbsolute()]) + root)
            << row.text;
        EXPECT_EQ(root + root + root, p.GetDriveName() + p.GetUncMountPointName() +
                                          p.GetDrivePath().AsString() +
                                          p.GetUncMountPoint().AsString() + p.GetRoot().AsString())
            << row.text;
    }
}

// ASCII texts: the narrow form shows the text, and one left over from an earlier text.
TEST(PathSyntaxTest, SplitAndMakeParent) {
    const struct Row {
        const char *text, *directory, *base;
    } rows[] = {
        {"C:\\", "C:\\", ""},
        {"C:\\\\a", "C:\\", "a"},
        {"C:\\a\\\\\\b", "C:\\a", "b"},
        {"a\\b\\", "a\\b", ""},
        {"\\\\\\a", "\\", "a"},
        {"a", "", "a"},
        {"C:", "C:", ""},
        {"C:a:b", "C:a:", "b"},
        {"1:x", "", "1:x"},
        {"\\\\?\\C:\\x", "\\\\?\\C:", "x"},  // no root rule for UNC mount points
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        auto expect = [&row](const Path& d, const Path& b) {
            EXPECT_EQ(std::string(row.directory) + "|" + row.base,
                      d.AsNarrowString() + "|" + b.AsNarrowString());
        };
        const Path path(row.text);
        std::wstring directory = L"old", base = L"old";
        path.Split(&directory, &base);
        expect(directory, base);
        expect(path.GetDirectoryName(), path.GetBase());
        expect(path.GetDirectory(), path.GetBaseName());
        path.Split(static_cast<std::wstring*>(nullptr), &(base = L"old"));  // null is skipped
        path.Split(static_cast<Path*>(nullptr), static_cast<Path*>(nullptr));
        EXPECT_EQ(row.base, Path(base).AsNarrowString());
        // Either output may be the path itself; with both, the base name wins.
        Path self("old"), other("old");
        path.Split(&self, &other);
        expect(self, other);
        (self = path).Split(&self, &other);
        expect(self, other);
        (self = path).Split(&other, &self);
        expect(other, self);
        (self = path).Split(&self, &self);
        EXPECT_EQ(row.base, self.AsNarrowString());
        std::wstring& text = const_cast<std::wstring&>((self = path).AsString());
        self.Split(&text, &base);  // the text itself as the directory output
        expect(self, Path(base));
        EXPECT_EQ(row.directory, (self = path).MakeParent().AsNarrowString());  // a root is kept
    }
}

// Text only: nothing is normalized.
TEST(PathSyntaxTest, MakeChildAndJoin) {
    const struct Row {
        const char *parent, *child, *result;
    } rows[] = {
        {"C:\\dir", "x", "C:\\dir\\x"},
        {"C:\\dir\\", "x", "C:\\dir\\x"},
        {"", "x", "x"},
        {"C:\\dir", "\\x", "\\x"},
        {"C:\\dir", "D:\\x", "D:\\x"},
        {"C:\\dir", "D:x", "C:\\dir\\D:x"},
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
