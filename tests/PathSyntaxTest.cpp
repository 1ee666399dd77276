// Path syntax: drives, UNC mount points, roots, Split, MakeParent, MakeChild and Join.
#include <TarnIO/Path.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

using TarnIO::Path;

namespace {

// The narrow form a path must hand out for its current text.
std::string NarrowOf(const std::wstring& text) { return Path(text).AsNarrowString(); }

// A path whose narrow form is cached: an operation that keeps it for a new text shows.
Path Cached(const std::wstring& text) { Path path(text); path.AsNarrowCStr(); return path; }

}  // namespace

TEST(PathSyntaxTest, Roots) {  // kind: 'd' has a drive letter, 'u' is UNC, '-' neither
    // '/' is no separator but part of UNC names; an empty share name counts, the long-path
    // prefix follows the same rule; "\\srv", "\\srv\" and a third leading '\' are not UNC.
    struct Row { const wchar_t* text; char kind; const wchar_t* root; bool absolute; } rows[] = {
        {L"C:", 'd', L"C:", false}, {L"z:\\x", 'd', L"z:", true}, {L"C:name", 'd', L"C:", false},
        {L"C:/x", 'd', L"C:", false}, {L"1:\\x", '-', L"", false}, {L":", '-', L"", false},
        {L"C", '-', L"", false}, {L"@:\\x", '-', L"", false}, {L"[:", '-', L"", false},
        {L"\x00C4:\\x", '-', L"", false}, {L"\\\\.\\COM1", 'u', L"\\\\.\\COM1", true},
        {L"\\\\srv\\shr", 'u', L"\\\\srv\\shr", true}, {L"\\\\s\\sh\\d", 'u', L"\\\\s\\sh", true},
        {L"\\\\srv\\\\x", 'u', L"\\\\srv\\", true}, {L"\\\\?\\C:\\x", 'u', L"\\\\?\\C:", true},
        {L"\\\\a/b\\c/d\\e", 'u', L"\\\\a/b\\c/d", true}, {L"\\\\srv", '-', L"", true},
        {L"\\\\srv\\", '-', L"", true}, {L"//srv/shr", '-', L"", false}, {L"\\", '-', L"", true},
        {L"\\\\\\xy", '-', L"", true}, {L"\\srv\\shr", '-', L"", true}, {L"a", '-', L"", false},
        {L"", '-', L"", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "input: \"" << row.text << "\"");
        const Path path(row.text);
        const std::wstring drive = row.kind == 'd' ? row.root : L"";
        const std::wstring mountPoint = row.kind == 'u' ? row.root : L"";
        unsigned end = 12345;  // nothing may be stored for a path that is not UNC
        EXPECT_EQ(row.kind == 'd', path.HasDriveLetter());
        EXPECT_EQ(row.kind == 'u', path.IsUnc(&end));
        EXPECT_EQ(row.kind == 'u' ? mountPoint.size() : 12345u, end);
        EXPECT_EQ(row.absolute, path.IsAbsolute());
        EXPECT_EQ(drive + L"|" + drive,
                  path.GetDriveName() + L"|" + path.GetDrivePath().AsString());
        EXPECT_EQ(mountPoint + L"|" + mountPoint,
                  path.GetUncMountPointName() + L"|" + path.GetUncMountPoint().AsString());
        EXPECT_EQ(std::wstring(row.root) + L"|" + row.root,
                  path.GetRootName() + L"|" + path.GetRoot().AsString());
    }
}

TEST(PathSyntaxTest, SplitAndMakeParent) {
    struct Row { const wchar_t *text, *directory, *base; } rows[] = {
        {L"C:\\a\\b", L"C:\\a", L"b"}, {L"C:\\a", L"C:\\", L"a"}, {L"C:\\", L"C:\\", L""},
        {L"C:\\\\a", L"C:\\", L"a"}, {L"C:\\a\\\\\\b", L"C:\\a", L"b"}, {L"a\\b\\", L"a\\b", L""},
        {L"\\a", L"\\", L"a"}, {L"\\\\\\a", L"\\", L"a"}, {L"\\", L"\\", L""}, {L"a", L"", L"a"},
        {L"a/b", L"", L"a/b"}, {L"a/b\\c/d", L"a/b", L"c/d"}, {L"", L"", L""}, {L"C:", L"C:", L""},
        {L"C:name", L"C:", L"name"}, {L"C:a:b", L"C:a:", L"b"}, {L"C:x\\y", L"C:x", L"y"},
        {L"1:x", L"", L"1:x"}, {L"\\\\srv", L"\\", L"srv"}, {L"\\\\srv\\shr", L"\\\\srv", L"shr"},
        {L"\\\\?\\C:\\x", L"\\\\?\\C:", L"x"},  // cut at the last colon; no special case for UNC
    };
    auto both = [](const Path& d, const Path& b) {
        return d.AsNarrowString() + "|" + b.AsNarrowString();
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "input: \"" << row.text << "\"");
        const std::string expected = NarrowOf(row.directory) + "|" + NarrowOf(row.base);
        const std::wstring wide = std::wstring(row.directory) + L"|" + row.base;
        const Path path(row.text);
        std::wstring directory = L"old", base = L"old";
        path.Split(&directory, &base);
        EXPECT_EQ(wide, directory + L"|" + base);
        EXPECT_EQ(wide, path.GetDirectoryName() + L"|" + path.GetBaseName());
        EXPECT_EQ(expected, both(path.GetDirectory(), path.GetBase()));
        path.Split(static_cast<std::wstring*>(nullptr), &(base = L"old"));  // null is skipped
        EXPECT_EQ(row.base, base);
        path.Split(static_cast<Path*>(nullptr), static_cast<Path*>(nullptr));

        Path self = Cached(L"old"), other = Cached(L"old");
        path.Split(&self, &other);
        EXPECT_EQ(expected, both(self, other));
        // Either output may be the path itself; with both, the base name wins.
        (self = Cached(row.text)).Split(&self, &other);
        EXPECT_EQ(expected, both(self, other));
        (self = Cached(row.text)).Split(&other, &self);
        EXPECT_EQ(expected, both(other, self));
        (self = Cached(row.text)).Split(&self, &self);
        EXPECT_EQ(row.base, self.AsString());
        // MakeParent cuts the same way, so a root is its own parent.
        EXPECT_EQ(&self, &(self = Cached(row.text)).MakeParent());
        EXPECT_EQ(NarrowOf(row.directory), self.AsNarrowString());
    }
}

TEST(PathSyntaxTest, MakeChildAndJoin) {
    // Only one trailing backslash is looked at; text only: nothing is normalized.
    struct Row { const wchar_t *parent, *child, *result; } rows[] = {
        {L"C:\\dir", L"x", L"C:\\dir\\x"}, {L"C:\\dir\\", L"x", L"C:\\dir\\x"},
        {L"C:", L"x", L"C:\\x"}, {L"", L"x", L"x"}, {L"", L"", L""}, {L"a/", L"b", L"a/\\b"},
        {L"C:\\dir", L"\\x", L"\\x"}, {L"C:\\dir", L"D:\\x", L"D:\\x"},
        {L"C:\\dir", L"D:x", L"C:\\dir\\D:x"}, {L"C:\\dir\\\\", L"x", L"C:\\dir\\\\x"},
        {L"C:\\dir", L"", L"C:\\dir\\"}, {L"a", L"..\\b", L"a\\..\\b"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "parent: " << row.parent << ", child: " << row.child);
        const Path parent(row.parent), child(row.child);
        Path path = Cached(row.parent);
        EXPECT_EQ(&path, &path.MakeChild(child));
        EXPECT_EQ(row.result, path.AsString());
        EXPECT_EQ(NarrowOf(row.result), path.AsNarrowString());
        EXPECT_EQ(row.result, Path::Join(parent, child).AsString());
    }

    // Taking over an absolute child brings its narrow form along, byte for
    // byte, even where it differs from a conversion of the wide text.
    const char bytes[] = "\\\xFF";
    EXPECT_STREQ(bytes, Cached(L"C:\\dir").MakeChild(Path(bytes)).AsNarrowCStr());

    Path path(L"a\\b"), rooted(L"\\r");  // a path as its own child
    EXPECT_EQ(L"a\\b\\a\\b", path.MakeChild(path).AsString());
    EXPECT_EQ(L"\\r", rooted.MakeChild(rooted).AsString());
}

// Seeded random texts favouring the characters the syntax looks at, NUL included.
TEST(PathSyntaxTest, PropertiesOfRandomTexts) {
    const wchar_t alphabet[] = L"\\\\\\\\//::..%$%{}()*?aBcZ\0 1";
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet / sizeof *alphabet - 2);
    std::uniform_int_distribution<std::size_t> length(0, 14);
    auto makeText = [&]() {
        std::wstring text(length(random), L'x');
        for (wchar_t& c : text)
            c = alphabet[pick(random)];
        return text;
    };
    for (int i = 0; i < 40000; ++i) {
        const std::wstring text = makeText(), childText = makeText();
        SCOPED_TRACE(testing::PrintToString(text) + " + " + testing::PrintToString(childText));
        const Path path(text);
        unsigned end = 0;
        ASSERT_LE(path.IsUnc(&end) ? end : 0u, text.size());
        // Split: a prefix and a suffix that do not overlap, no separator in the base.
        std::wstring directory, base;
        path.Split(&directory, &base);
        ASSERT_LE(directory.size() + base.size(), text.size());
        ASSERT_EQ(text.substr(0, directory.size()) + text.substr(text.size() - base.size()),
                  directory + base);
        ASSERT_EQ(std::wstring::npos, base.find(L'\\'));
        // A relative child is appended: the parent's text stays a prefix.
        const std::wstring joined = Path::Join(path, Path(childText)).AsString();
        if (!Path(childText).IsAbsolute() && !text.empty()) {
            ASSERT_EQ(0, joined.compare(0, text.size(), text)) << testing::PrintToString(joined);
            ASSERT_EQ(childText, joined.substr(joined.size() - childText.size()));
        } else {
            ASSERT_EQ(childText, joined);
        }
    }
}
