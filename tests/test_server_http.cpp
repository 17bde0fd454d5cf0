// The server's pieces that stand alone: request targets and headers, JSON bodies with merge
// patches, and the secrets of accounts.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <sqlite3.h>

#include <memory>

#include "server/Accounts.h"
#include "server/Http.h"
#include "server/JsonValue.h"
#include "server_support.h"

namespace ssmsg::server {
namespace {

TEST(ServerTarget, PathsAreDecodedAndHostileOnesRefused) {
  // Each target and its segments; none: it is refused.
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"/api/controllers/1/2", {"api", "controllers", "1", "2"}},
      {"/a%20b/%C3%A9", {"a b", "\xC3\xA9"}},
      {"/", {""}},
      {"/a/../b", {}},
      {"/a/%2e%2E/b", {}},   // an encoded ..
      {"/a/%2Fetc", {}},     // an encoded slash
      {"/a/%00", {}},        // an encoded NUL
      {"/a/%0A", {}},        // an encoded line feed
      {"/a/%C3", {}},        // not UTF-8 once decoded
      {"/a/%4", {}},         // a cut escape
      {"/a/%zz", {}},        // not hex
      {"api/site", {}},      // no leading slash
      {"http://x/api", {}},  // an absolute form
  };
  for (const auto& [target, segments] : cases) {
    const Result<Target, std::string> result = ParseTarget(target);
    if (segments.empty()) {
      ASSERT_FALSE(result) << target;
      EXPECT_FALSE(result.error().empty()) << target;
    } else {
      ASSERT_TRUE(result) << target << ": " << result.error();
      EXPECT_EQ(result->segments, segments) << target;
    }
  }
}

TEST(ServerTarget, QueryPairsAreDecoded) {
  const Result<Target, std::string> result =
      ParseTarget("/api/audit?after=12&x=a+b%26c&flag&&after=99");
  ASSERT_TRUE(result);
  ASSERT_NE(result->Query("after"), nullptr);
  EXPECT_EQ(*result->Query("after"), "12");  // the first one given
  EXPECT_EQ(*result->Query("x"), "a b&c");
  EXPECT_EQ(*result->Query("flag"), "");
  EXPECT_FALSE(ParseTarget("/api/audit?after=%0D%0A").has_value());
}

TEST(ServerHeaders, EntityTagsMatchAsEachConditionCompares) {
  const std::string tag = "\"abc\"";
  // Each header and whether it matches as If-Match (strongly) and as If-None-Match (weakly).
  const std::vector<std::tuple<std::string, bool, bool>> cases = {
      {"\"abc\"", true, true},    {"*", true, true},          {" \"x\" , \"abc\" ", true, true},
      {"W/\"abc\"", false, true}, {"\"abcd\"", false, false}, {"abc", false, false},
      {"", false, false},         {"\"x\",", false, false},
  };
  for (const auto& [header, strong, weak] : cases) {
    EXPECT_EQ(EtagMatches(header, tag, false), strong) << header;
    EXPECT_EQ(EtagMatches(header, tag, true), weak) << header;
  }
}

TEST(ServerHeaders, NumbersCookiesAndMediaTypes) {
  EXPECT_EQ(ParseDecimal("2147483647", 1, 2147483647), 2147483647);
  EXPECT_EQ(ParseDecimal("0", 0, 5), 0);
  for (const char* bad :
       {"2147483648", "0", "-1", "+1", "01", "1e3", "", " 1", "99999999999999999999"})
    EXPECT_FALSE(ParseDecimal(bad, 1, 2147483647)) << bad;
  EXPECT_EQ(CookieValue("a=1; ssmsg_session=xyz ; b=2", "ssmsg_session"), "xyz");
  EXPECT_FALSE(CookieValue("xssmsg_session=1", "ssmsg_session"));
  EXPECT_EQ(CookieValue("a=1;s=x;b", "s"), "x");  // no blank after the semicolons
  EXPECT_EQ(MediaType(" Application/JSON ; charset=utf-8"), "application/json");
}

// Each mistake in the words and at the place the answers give: where the token that is wrong
// starts (inside a string, the escape or character), or where the text ends.
TEST(ServerJson, EachMistakeIsToldInTheServersWords) {
  const std::string deep =
      std::string(kJsonMaxDepth, '[') + "{\"a\":1}" + std::string(kJsonMaxDepth, ']');
  std::vector<std::pair<std::string, std::string>> cases = {
      {"", "1: the text ends where a value should be"},
      {" [1,]", "5: not a JSON value"},
      {"[tru]", "2: not a JSON value"},
      {"[-]", "2: not a JSON value"},
      {"\xEF\xBB\xBF{}", "1: not a JSON value"},
      {"[01]", "2: a number with a leading zero"},
      {"[1,-01.5]", "4: a number with a leading zero"},
      {"00", "1: a number with a leading zero"},
      {"[1.]", "2: a number without digits after its point"},
      {"[1e+]", "2: a number without digits in its exponent"},
      {"{} x", "4: text after the value"},
      {"[1", "3: the text ends inside an array"},
      {"[1 2]", "4: expected , or ] in an array"},
      {"[1 \"abc", "4: expected , or ] in an array"},
      {"{\"a\":1", "7: the text ends inside an object"},
      {"{\"a\":1 \"b\":2}", "8: expected , or } in an object"},
      {"{\"a\" 1}", "6: expected : after a name"},
      {"{1:2}", "2: expected a name in quotes"},
      {"{\"a\":1,}", "8: expected a name in quotes"},
      {"\"abc", "1: a string without its closing quote"},
      {"{\"abc", "2: a string without its closing quote"},
      {"\"a\tb\"", "3: a control character inside a string"},
      {"\"a\xC3\x28\"", "3: a string that is not UTF-8"},
      {"{\"\xFF\":1}", "3: a string that is not UTF-8"},
      {"\"a\\q\"", "3: an unknown escape"},
      {"\"a\\", "4: the text ends inside a string"},
      {"\"a\\u12G4\"", "3: a \\u escape without four hex digits"},
      {"\"a\\udc00\"", "3: a \\u escape of a lone low surrogate"},
      {"\"a\\ud800\"", "3: a high surrogate without its low one"},
      {"\"a\\ud800\\u0041\"", "3: a high surrogate without its low one"},
      {"\"\\ud800x\"", "2: a high surrogate without its low one"},
      {std::string("[1,\0]", 5), "4: a NUL byte"},
      {deep, std::to_string(kJsonMaxDepth + 1) + ": nested too deep"},
      // A megabyte of brackets is refused at once, not read into a tree.
      {std::string(1 << 20, '[') + std::string(1 << 20, ']'),
       std::to_string(kJsonMaxDepth + 1) + ": nested too deep"},
      {"{\"a\":1,\"b\":{\"a\":2},\"a\":3}", "20: a name given twice in one object"},
      {"[{\"a\":{\"b\":1,\"b\":2}}]", "14: a name given twice in one object"},
  };
  // Many members: a name given twice is found as well, at its second place.
  std::string many = "{";
  for (int k = 0; k < 40; ++k)
    many += "\"k" + std::to_string(k % 30 == 29 ? 3 : k) + "\":0,";
  many.back() = '}';
  cases.emplace_back(
      many, std::to_string(many.rfind("\"k3\"") + 1) + ": a name given twice in one object");
  // Checking without a tree refuses the same texts in the same words.
  for (const auto& [text, error] : cases) {
    const JsonRead result = ReadJson(text);
    ASSERT_FALSE(result) << text.substr(0, 80);
    EXPECT_EQ(result.error(), "line 1, column " + error) << text.substr(0, 80);
    const Result<std::string_view, std::string> checked = CheckJson(text);
    ASSERT_FALSE(checked) << text.substr(0, 80);
    EXPECT_EQ(checked.error(), result.error());
  }
  EXPECT_EQ(ReadJson("{\"a\":1}\n x").error(), "line 2, column 2: text after the value");
  EXPECT_EQ(ReadJson("{\n  \"a\": [1,\n  ]\n}").error(), "line 3, column 3: not a JSON value");
}

// Trees hold what was read: members in order, the same name in different objects, values nested
// in every way, numbers as they were written, strings decoded. An empty form: as it was written.
TEST(ServerJson, TreesHoldWhatWasRead) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {" -0 ", "-0"},
      {"[-0,0,1.50,1E+3,-1e-400,-1e400,9223372036854775808,-9223372036854775809]", ""},
      {"[{\"a\":[1,{\"b\":[]}],\"c\":2},[[]],{},\"s\"]", ""},
      {"{\"b\":{\"b\":{\"b\":1}},\"a\":[{\"b\":2},{\"b\":3}]}", ""},
      {"{ \"z\" : true , \"y\" : [ false , null ] }", "{\"z\":true,\"y\":[false,null]}"},
      {"\"\\ud83d\\ude00\\u00e9\\/\\\"\"", "\"\xF0\x9F\x98\x80\xC3\xA9/\\\"\""},
      {"{\"\\u0041\":1,\"A \":2}", "{\"A\":1,\"A \":2}"},
      {"{\"n\":[123456789012345678901234567890],\"s\":\"\\u00e9\\n\",\"o\":{ \t},\"a\":[ "
       "\n],\"f\":false}",
       "{\"n\":[123456789012345678901234567890],\"s\":\"\xC3\xA9\\n\",\"o\":{},\"a\":[],\"f\":"
       "false}"},
  };
  for (const auto& [text, json] : cases) {
    const JsonRead result = ReadJson(text);
    ASSERT_TRUE(result) << text << ": " << result.error();
    EXPECT_EQ(ToJson(*result), json.empty() ? text : json);
    EXPECT_TRUE(CheckJson(text)) << text;
  }
  // Objects and arrays in turn, as deep as allowed.
  std::string deep;
  for (std::size_t depth = 0; depth < kJsonMaxDepth; ++depth)
    deep += depth % 2 == 0 ? "{\"k\":" : "[";
  deep += "1";
  for (std::size_t depth = kJsonMaxDepth; depth-- > 0;)
    deep += depth % 2 == 0 ? "}" : "]";
  const JsonRead result = ReadJson(deep);
  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ(ToJson(*result), deep);
}

// The compact form keeps strings as they are, blanks and escaped quotes in them included; the
// raw members of an object are its names decoded and its values' text as written.
TEST(ServerJson, CompactFormAndRawMembers) {
  EXPECT_EQ(CompactJson(" {\n  \"a b\" : [ 1 , \"x \\\" y\\\\\" , true ] ,\t\"c\":{ } }\n"),
            "{\"a b\":[1,\"x \\\" y\\\\\",true],\"c\":{}}");
  EXPECT_EQ(CompactJson("\"\\\\\" "), "\"\\\\\"");
  const std::optional<std::vector<RawMember>> members = RawMembers(
      " { \"a\" : -1.5 , \"b\\u00e9\" : \"x,}\\\"\" , \"c\" : [1, {\"d\": \"]\"}] , \"e\":true} ");
  ASSERT_TRUE(members);
  std::vector<std::string> seen;
  for (const RawMember& member : *members)
    seen.push_back(member.name + "=" + std::string(member.value));
  EXPECT_EQ(seen, (std::vector<std::string>{"a=-1.5", "b\xC3\xA9=\"x,}\\\"\"",
                                            "c=[1, {\"d\": \"]\"}]", "e=true"}));
  EXPECT_TRUE(RawMembers(" { } ")->empty());
  EXPECT_FALSE(RawMembers("[1]"));
}

// The examples of RFC 7396, appendix A.
TEST(ServerJson, MergePatchFollowsTheRfcExamples) {
  const std::vector<std::vector<std::string>> cases = {
      {R"({"a":"b"})", R"({"a":"c"})", R"({"a":"c"})"},
      {R"({"a":"b"})", R"({"b":"c"})", R"({"a":"b","b":"c"})"},
      {R"({"a":"b"})", R"({"a":null})", R"({})"},
      {R"({"a":"b","b":"c"})", R"({"a":null})", R"({"b":"c"})"},
      {R"({"a":["b"]})", R"({"a":"c"})", R"({"a":"c"})"},
      {R"({"a":"c"})", R"({"a":["b"]})", R"({"a":["b"]})"},
      {R"({"a":{"b":"c"}})", R"({"a":{"b":"d","c":null}})", R"({"a":{"b":"d"}})"},
      {R"({"a":[{"b":"c"}]})", R"({"a":[1]})", R"({"a":[1]})"},
      {R"(["a","b"])", R"(["c","d"])", R"(["c","d"])"},
      {R"({"a":"b"})", R"(["c"])", R"(["c"])"},
      {R"({"a":"foo"})", R"(null)", R"(null)"},
      {R"({"a":"foo"})", R"("bar")", R"("bar")"},
      {R"({"e":null})", R"({"a":1})", R"({"e":null,"a":1})"},
      {R"([1,2])", R"({"a":"b","c":null})", R"({"a":"b"})"},
      {R"({})", R"({"a":{"bb":{"ccc":null}}})", R"({"a":{"bb":{}}})"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MergePatchText(c[0], c[1]), c[2]) << c[0] << " + " << c[1];
}

TEST(ServerJson, MergePatchOfManyMembersKeepsThemAll) {
  // Enough new members to make the target's list grow several times while it is patched.
  std::string target = "{";
  std::string patch = "{";
  for (int i = 0; i < 200; ++i) {
    target += (i ? "," : "") + ("\"k" + std::to_string(i) + "\":" + std::to_string(i));
    patch += (i ? "," : "") + ("\"n" + std::to_string(i) + "\":{\"x\":" + std::to_string(i) + "}");
  }
  patch += ",\"k7\":null}";
  target += '}';
  const JsonValue value = *ReadJson(MergePatchText(target, patch));
  EXPECT_EQ(value.members.size(), 399U);
  EXPECT_EQ(value.Find("k7"), nullptr);
  ASSERT_NE(value.Find("n199"), nullptr);
  EXPECT_EQ(ToJson(*value.Find("n199")), "{\"x\":199}");
  EXPECT_EQ(ToJson(*value.Find("k199")), "199");
}

TEST(ServerAccounts, PasswordsSecretsAndNames) {
  ASSERT_TRUE(InitCrypto());
  const std::string hash = HashPassword("correct horse", PasswordCost::Cheapest());
  EXPECT_EQ(hash.rfind("$argon2id$", 0), 0U) << hash;
  EXPECT_TRUE(VerifyPassword(hash, "correct horse"));
  EXPECT_FALSE(VerifyPassword(hash, "correct horsE"));
  EXPECT_FALSE(VerifyPassword("not a hash", "correct horse"));

  const std::string a = NewSecret();
  EXPECT_EQ(a.size(), 43U);
  EXPECT_NE(a, NewSecret());
  EXPECT_EQ(SecretHash(a), SecretHash(a));
  EXPECT_NE(SecretHash(a), SecretHash(a + "x"));
  EXPECT_TRUE(SameSecret(a, a));
  EXPECT_FALSE(SameSecret(a, a.substr(1)));
  EXPECT_FALSE(SameSecret("", ""));

  EXPECT_FALSE(CheckUserName("anna.b-c_d@site"));
  for (const char* bad : {"", "a b", "a/b", "<x>", "\xC3\xA9"})
    EXPECT_TRUE(CheckUserName(bad)) << bad;
  EXPECT_TRUE(CheckUserName(std::string(65, 'a')));
  // Characters are counted, not bytes; the most common passwords are refused in any case.
  for (const char* good : {"eight ch", "\xC3\xA9t\xC3\xA9 \xC3\xA0 la", "password!", "Password1x"})
    EXPECT_FALSE(CheckPassword(good)) << good;
  for (const char* bad : {"seven c", "tab\there ok", "\xFF\xFE long enough",
                          "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", "password",
                          "PassWord1", "12345678", "qwertyuiop", "toor1234"})
    EXPECT_TRUE(CheckPassword(bad)) << bad;
  EXPECT_EQ(CheckPassword("Password123"),
            "that password is one of the most common: choose another");
}

// Five failures slow a name down (a second, doubling to a minute), whoever fails; thirty keep
// an address out for five minutes; the names and addresses of old failures are forgotten, so a
// flood never stops the counting of the newest; and two servers on one database count together.
TEST(ServerAccounts, FailuresSlowANameDownAndKeepAFloodingAddressOut) {
  const test::TempFolder folder;
  const std::unique_ptr<Store> store =
      test::MakeStore(test::StoreKind::Database, test::CounterSite(1), folder);
  const std::unique_ptr<Store> beside = test::OpenDatabase(folder / "site.db");
  constexpr std::int64_t kFollowed = 200;  // as kMaxEntries, at a test's size
  LoginGuard guard(*store, kFollowed);
  LoginGuard other(*beside, kFollowed);
  for (int i = 0; i < 4; ++i)
    (i % 2 ? guard : other).Failed("anna", "10.0.0.9", 1000 + i * 10);
  EXPECT_EQ(guard.Wait("anna", "10.0.0.1", 1030), 0);
  other.Failed("anna", "10.0.0.9", 1040);  // the fifth
  // Her own address waits as another does: the name is slowed, not the one who mistyped.
  EXPECT_EQ(guard.Wait("anna", "10.0.0.1", 1040), 1);
  EXPECT_EQ(guard.Wait("anna", "10.0.0.1", 1041), 0);
  EXPECT_EQ(guard.Wait("bert", "10.0.0.9", 1040), 0);
  // Each failure's time, and the wait after it.
  for (const auto& [at, wait] : std::vector<std::pair<std::int64_t, std::int64_t>>{
           {1041, 2}, {1043, 4}, {1047, 8}, {1055, 16}, {1071, 32}, {1103, 60}, {1163, 60}}) {
    guard.Failed("anna", "10.0.0." + std::to_string(at % 7), at);
    EXPECT_EQ(other.Wait("anna", "10.0.0.1", at), wait) << at;
  }
  EXPECT_EQ(guard.Wait("anna", "10.0.0.1", 1163 + 60), 0);
  // Five minutes after her last failure the count starts again.
  guard.Failed("anna", "10.0.0.9", 1163 + 300);
  EXPECT_EQ(guard.Wait("anna", "10.0.0.1", 1163 + 300), 0);

  // One address failing with many names is kept out, whatever the name.
  for (int i = 0; i < LoginGuard::kAddressFailures; ++i)
    guard.Failed("n" + std::to_string(i), "192.0.2.7", 2000);
  EXPECT_EQ(guard.Wait("somebody", "192.0.2.7", 2000), 300);
  EXPECT_EQ(guard.Wait("somebody", "192.0.2.8", 2000), 0);
  EXPECT_EQ(guard.Wait("somebody", "192.0.2.7", 2300), 0);

  // More names and addresses than it follows: the newest are still counted, the oldest are not,
  // and the table stays as large as it was.
  for (int i = 0; i < 5; ++i)
    guard.Failed("early", "203.0.113.9", 3000);
  EXPECT_EQ(guard.Wait("early", "203.0.113.2", 3000), 1);
  for (std::int64_t i = 0; i < kFollowed + 50; ++i)
    guard.Failed("f" + std::to_string(i), "198.51." + std::to_string(i), 3000);
  for (int i = 0; i < 5; ++i)
    guard.Failed("ada", "203.0.113.1", 3000);
  EXPECT_EQ(guard.Wait("early", "203.0.113.2", 3000), 0);
  EXPECT_EQ(guard.Wait("ada", "203.0.113.2", 3000), 1);
  guard.Succeeded("ada");
  EXPECT_EQ(other.Wait("ada", "203.0.113.2", 3000), 0);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((folder / "site.db").c_str(), &db), SQLITE_OK);
  sqlite3_stmt* count = nullptr;
  sqlite3_prepare_v2(db, "SELECT count(*) FROM login_failures", -1, &count, nullptr);
  ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
  EXPECT_LE(sqlite3_column_int64(count, 0), 2 * kFollowed);
  sqlite3_finalize(count);
  sqlite3_close(db);
}

}  // namespace
}  // namespace ssmsg::server
