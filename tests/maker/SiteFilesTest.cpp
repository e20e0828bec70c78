#include "maker/SiteFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/TempDir.h"

namespace vorn::test {
namespace {

ino_t inodeOf(const std::string& path) {
    struct stat info = {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_ino;
}

TEST(SiteFiles, SitePathsStayInsideTheSite) {
    for (const char* good : {"index.html", "r/a-b_c.html", "USB-2025-ABC.QKL", "d/x.json"}) {
        EXPECT_TRUE(isSitePath(good)) << good;
    }
    for (const char* bad : {"", "/etc/passwd", "../x", "r/../../x", "r//x", "r/", ".hidden", "r/.x",
                            "a b", "r\\x", "x\n"}) {
        EXPECT_FALSE(isSitePath(bad)) << bad;
    }
}

TEST(SiteFiles, AFileIsWrittenOnlyWhenItsBytesDiffer) {
    TempDir folder;
    const std::string path = folder.file("a.txt");
    std::string why;
    bool changed = false;
    ASSERT_TRUE(writeIfChanged(path, "one", &changed, &why)) << why;
    EXPECT_TRUE(changed);
    const ino_t first = inodeOf(path);
    ASSERT_TRUE(writeIfChanged(path, "one", &changed, &why));
    EXPECT_FALSE(changed);
    EXPECT_EQ(inodeOf(path), first);
    // Same length, other bytes; then another length.
    ASSERT_TRUE(writeIfChanged(path, "two", &changed, &why));
    EXPECT_TRUE(changed);
    EXPECT_EQ(folder.read("a.txt"), "two");
    ASSERT_TRUE(writeIfChanged(path, "", &changed, &why));
    EXPECT_TRUE(changed);
    EXPECT_EQ(folder.read("a.txt"), "");
}

TEST(SiteFiles, ATargetThatIsNoRegularFileIsRefused) {
    TempDir folder;
    std::filesystem::create_directory(folder.file("dir"));
    std::filesystem::create_symlink(folder.file("elsewhere"), folder.file("link"));
    std::string why;
    bool changed = false;
    EXPECT_FALSE(writeIfChanged(folder.file("dir"), "x", &changed, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(writeIfChanged(folder.file("link"), "x", &changed, &why));
    EXPECT_FALSE(std::filesystem::exists(folder.file("elsewhere")));
}

TEST(SiteFiles, OnlyFilesOfTheLastPublishThatThisOneDidNotPutAreRemoved) {
    TempDir folder;
    const std::string root = folder.file("site");
    std::string why;
    {
        SiteFiles files(root);
        ASSERT_TRUE(files.begin({"a.html", "r/b.html", "r/c.html"}, &why)) << why;
        ASSERT_TRUE(files.put("a.html", "a", &why) && files.put("r/b.html", "b", &why) &&
                    files.put("r/c.html", "c", &why));
        ASSERT_TRUE(files.finish(&why));
        EXPECT_EQ(files.counts().written, 3u);
    }
    folder.write("site/mine.html", "not publish's");
    // A stale name that is now a folder is left alone.
    std::filesystem::remove(folder.file("site/r/c.html"));
    std::filesystem::create_directory(folder.file("site/r/c.html"));
    SiteFiles files(root);
    ASSERT_TRUE(files.begin({"a.html"}, &why));
    // Until finish, the manifest lists the old files and the planned ones.
    EXPECT_EQ(folder.read(std::string("site/") + kManifestName), "a.html\nr/b.html\nr/c.html\n");
    ASSERT_TRUE(files.put("a.html", "a", &why));
    ASSERT_TRUE(files.finish(&why));
    EXPECT_EQ(files.counts().unchanged, 1u);
    EXPECT_EQ(files.counts().removed, 1u);
    EXPECT_FALSE(std::filesystem::exists(folder.file("site/r/b.html")));
    EXPECT_TRUE(std::filesystem::exists(folder.file("site/r/c.html")));
    EXPECT_TRUE(std::filesystem::exists(folder.file("site/mine.html")));
    EXPECT_EQ(folder.read(std::string("site/") + kManifestName), "a.html\n");
}

TEST(SiteFiles, APathOutsideTheSiteIsNeverPut) {
    TempDir folder;
    SiteFiles files(folder.file("site"));
    std::string why;
    ASSERT_TRUE(files.begin({}, &why));
    EXPECT_FALSE(files.put("../x", "x", &why));
    EXPECT_FALSE(files.put(kManifestName, "x", &why));
    EXPECT_FALSE(std::filesystem::exists(folder.file("x")));
}

}  // namespace
}  // namespace vorn::test
