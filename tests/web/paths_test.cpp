// What a request may name among the served assets: safe names only, read
// once into memory, symbolic links followed only inside the assets folder.
#include "web/paths.h"
#include "web_test_util.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace web;

TEST(Paths, OnlySafeRelativeNamesPass) {
    EXPECT_EQ(SafeRelativePath("app.js"), "app.js");
    EXPECT_EQ(SafeRelativePath("vendor/peaks.js"), "vendor/peaks.js");
    for (std::string bad : {"", "/etc/passwd", "../secret", "a/../../b", "./app.js", "a/./b", "a//b", "a/", ".hidden",
                            "vendor/.git/config", "..", "a\\..\\b", "%2e%2e/x", "a%00b", "a b", "a:b", "é.js",
                            "a/..%2fb"})
        EXPECT_FALSE(SafeRelativePath(bad).has_value()) << bad;
    EXPECT_FALSE(SafeRelativePath(std::string("a\0b", 3)).has_value());
    EXPECT_FALSE(SafeRelativePath(std::string(300, 'a')).has_value());
}

TEST(Paths, AssetsAreReadOnceAndLinksStayInside) {
    webtest::TempDir dir;
    namespace fs = std::filesystem;
    fs::create_directories(dir / "assets/vendor");
    std::ofstream(dir / "assets/app.js") << "console.log(1);";
    std::ofstream(dir / "assets/vendor/lib.js") << "lib";
    std::ofstream(dir / "assets/.secret") << "hidden";
    std::ofstream(dir / "outside.txt") << "TOP SECRET";
    fs::create_symlink(dir / "outside.txt", dir / "assets/leak.txt");
    fs::create_symlink(dir.path, dir / "assets/up");
    fs::create_symlink("app.js", dir / "assets/alias.js");

    AssetStore store;
    ASSERT_FALSE(store.load(dir / "assets").has_value());
    ASSERT_NE(store.find("app.js"), nullptr);
    EXPECT_EQ(store.find("app.js")->body, "console.log(1);");
    EXPECT_EQ(store.find("app.js")->contentType, "text/javascript; charset=utf-8");
    EXPECT_EQ(store.find("app.js")->etag.size(), 34u);
    ASSERT_NE(store.find("vendor/lib.js"), nullptr);
    ASSERT_NE(store.find("alias.js"), nullptr) << "a link inside the folder is served";
    EXPECT_EQ(store.find("leak.txt"), nullptr);
    EXPECT_EQ(store.find("up/outside.txt"), nullptr);
    EXPECT_EQ(store.find(".secret"), nullptr);
    EXPECT_EQ(store.size(), 3u);
    EXPECT_EQ(store.skipped().count("leak.txt"), 1u);
    EXPECT_EQ(store.skipped().count("up"), 1u);

    // Read once: a file changed later is not what is served, a file added is not served.
    std::ofstream(dir / "assets/app.js") << "changed";
    std::ofstream(dir / "assets/new.js") << "new";
    EXPECT_EQ(store.find("app.js")->body, "console.log(1);");
    EXPECT_EQ(store.find("new.js"), nullptr);

    AssetStore missing;
    EXPECT_TRUE(missing.load(dir / "nowhere").has_value());
}
