// Accounts (Argon2id hashes in a 0600 file replaced atomically), sessions,
// CSRF tokens and the login throttle.
#include "web/accounts.h"
#include "web/rate_limit.h"
#include "web/sessions.h"
#include "web_test_util.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <set>

using namespace web;

TEST(Accounts, PasswordHashIsArgon2idAndVerifiesOnlyTheSamePassword) {
    const std::string hash = HashPassword("correct horse");
    EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u) << hash;
    EXPECT_TRUE(VerifyPassword(hash, "correct horse"));
    EXPECT_FALSE(VerifyPassword(hash, "correct horsE"));
    EXPECT_FALSE(VerifyPassword(hash, ""));
    EXPECT_FALSE(VerifyPassword("", "correct horse"));
    EXPECT_FALSE(VerifyPassword("$argon2id$garbage", "correct horse"));
    // A salt of its own each time.
    EXPECT_NE(hash, HashPassword("correct horse"));
}

TEST(Accounts, NamesRolesAndPasswordsAreChecked) {
    EXPECT_TRUE(ValidAccountName("alice"));
    EXPECT_TRUE(ValidAccountName("j.dupont-2_b"));
    for (const char* bad : {"", "a b", "al:ice", "../x", "é", "web:alice", "x\n"}) EXPECT_FALSE(ValidAccountName(bad)) << bad;
    EXPECT_FALSE(ValidAccountName(std::string(33, 'a')));
    EXPECT_EQ(ParseRole("operate"), Role::Operate);
    EXPECT_FALSE(ParseRole("root").has_value());
    EXPECT_TRUE(Allows(Role::Admin, Role::Operate));
    EXPECT_TRUE(Allows(Role::Operate, Role::Listen));
    EXPECT_FALSE(Allows(Role::Listen, Role::Operate));
    EXPECT_FALSE(Allows(Role::Operate, Role::Admin));
    EXPECT_TRUE(PasswordProblem("short").has_value());
    EXPECT_FALSE(PasswordProblem("long enough").has_value());
}

TEST(Accounts, FileIsWrittenWholeWithMode0600AndReadBack) {
    webtest::TempDir dir;
    const std::string path = dir / "state/sub/users_1.json";  // folders made
    AccountFile file(path);
    ASSERT_FALSE(file.load().has_value());  // missing: empty
    EXPECT_TRUE(file.accounts().empty());
    ASSERT_FALSE(file.add("alice", Role::Admin, "alice-password").has_value());
    ASSERT_FALSE(file.add("bob", Role::Listen, "bob-password").has_value());
    EXPECT_TRUE(file.add("bob", Role::Operate, "other-password").has_value()) << "a name exists once";
    ASSERT_FALSE(file.save().has_value());

    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((dir / "state/sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // No temporary file left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "state/sub"), {}), 1);
    // The password itself is nowhere in the file.
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text.find("alice-password"), std::string::npos);

    AccountFile again(path);
    ASSERT_FALSE(again.load().has_value());
    ASSERT_EQ(again.accounts().size(), 2u);
    ASSERT_NE(again.find("bob"), nullptr);
    EXPECT_EQ(again.find("bob")->role, Role::Listen);
    EXPECT_TRUE(VerifyPassword(again.find("alice")->hash, "alice-password"));

    // Replaced, not rewritten in place: a reader holding the old file keeps it whole.
    ::stat(path.c_str(), &st);
    const ino_t old = st.st_ino;
    EXPECT_TRUE(again.remove("bob"));
    EXPECT_FALSE(again.remove("bob"));
    ASSERT_FALSE(again.save().has_value());
    ::stat(path.c_str(), &st);
    EXPECT_NE(st.st_ino, old);
    AccountFile third(path);
    ASSERT_FALSE(third.load().has_value());
    EXPECT_EQ(third.accounts().size(), 1u);
}

TEST(Accounts, BrokenFileIsAnErrorAndGivesNoAccount) {
    webtest::TempDir dir;
    for (const char* text : {"not json", R"({"format":2,"users":[]})", R"({"format":1,"users":[{"name":"a b","role":"admin","hash":"x"}]})",
                             R"({"format":1,"users":[{"name":"ann","role":"god","hash":"x"}]})"}) {
        std::ofstream(dir / "u.json") << text;
        AccountFile f(dir / "u.json");
        EXPECT_TRUE(f.load().has_value()) << text;
        EXPECT_TRUE(f.accounts().empty()) << text;
    }
}

TEST(Sessions, TokensAreRandomAndSessionsEndWithTheirLifetime) {
    std::set<std::string> tokens;
    for (int i = 0; i < 200; ++i) {
        const std::string t = RandomToken();
        ASSERT_EQ(t.size(), 64u);
        ASSERT_EQ(t.find_first_not_of("0123456789abcdef"), std::string::npos);
        tokens.insert(t);
    }
    EXPECT_EQ(tokens.size(), 200u);

    SessionStore store(60000);
    Session made;
    const std::string token = store.create("alice", Role::Operate, 1000, &made);
    EXPECT_NE(token, made.csrf);
    auto s = store.find(token, 1000 + 59999);
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->user, "alice");
    EXPECT_EQ(s->role, Role::Operate);
    EXPECT_FALSE(store.find(token, 1000 + 60000).has_value()) << "ended at its lifetime";
    EXPECT_FALSE(store.find(token, 1000).has_value()) << "and gone for good";
    EXPECT_FALSE(store.find("", 1000).has_value());
    EXPECT_FALSE(store.find(RandomToken(), 1000).has_value());
}

TEST(Sessions, RemoveRetainAndBoundedCount) {
    SessionStore store(60000, 3);
    const std::string a = store.create("a", Role::Admin, 1);
    const std::string b = store.create("b", Role::Listen, 2);
    const std::string c = store.create("c", Role::Listen, 3);
    store.create("d", Role::Listen, 4);  // the oldest makes room
    EXPECT_EQ(store.size(), 3u);
    EXPECT_FALSE(store.find(a, 5).has_value());
    store.remove(b);
    EXPECT_FALSE(store.find(b, 5).has_value());
    store.retain([](const Session& s) { return s.user != "c"; });
    EXPECT_FALSE(store.find(c, 5).has_value());
    EXPECT_EQ(store.size(), 1u);
}

TEST(Sessions, CsrfTokenMustMatchExactly) {
    SessionStore store(60000);
    Session s;
    store.create("alice", Role::Admin, 0, &s);
    EXPECT_TRUE(CsrfValid(s, s.csrf));
    EXPECT_FALSE(CsrfValid(s, ""));
    EXPECT_FALSE(CsrfValid(s, s.csrf.substr(1)));
    std::string other = s.csrf;
    other[10] = other[10] == 'a' ? 'b' : 'a';
    EXPECT_FALSE(CsrfValid(s, other));
    Session s2;
    store.create("alice", Role::Admin, 0, &s2);
    EXPECT_FALSE(CsrfValid(s, s2.csrf)) << "each session has its own";
}

TEST(LoginThrottle, WaitsGrowAfterTheFreeFailuresAndASuccessClears) {
    LoginThrottle t({3, 1000, 8000, 3600000, 100});
    int64_t now = 0;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(t.waitMs("addr:1.2.3.4", now), 0);
        t.failure("addr:1.2.3.4", now);
    }
    EXPECT_EQ(t.waitMs("addr:1.2.3.4", now), 0) << "three failures are free";
    t.failure("addr:1.2.3.4", now);  // 4th
    EXPECT_EQ(t.waitMs("addr:1.2.3.4", now), 1000);
    EXPECT_EQ(t.waitMs("addr:1.2.3.4", now + 400), 600);
    now += 1000;
    t.failure("addr:1.2.3.4", now);  // 5th
    EXPECT_EQ(t.waitMs("addr:1.2.3.4", now), 2000);
    for (int i = 0; i < 10; ++i) t.failure("addr:1.2.3.4", now);
    EXPECT_EQ(t.waitMs("addr:1.2.3.4", now), 8000) << "bounded";
    EXPECT_EQ(t.waitMs("user:alice", now), 0) << "keys are apart";
    t.success("addr:1.2.3.4");
    EXPECT_EQ(t.waitMs("addr:1.2.3.4", now), 0);
}

TEST(LoginThrottle, OldFailuresAreForgottenAndKeysBounded) {
    LoginThrottle t({3, 1000, 8000, 60000, 50});
    for (int i = 0; i < 5; ++i) t.failure("k", 0);
    EXPECT_GT(t.waitMs("k", 0), 0);
    t.failure("k", 60000);  // an hour... here a minute later: counted from one again
    EXPECT_EQ(t.waitMs("k", 60000), 0);
    for (int i = 0; i < 500; ++i) t.failure("addr:" + std::to_string(i), 100000 + i);
    EXPECT_LE(t.size(), 50u);
}
