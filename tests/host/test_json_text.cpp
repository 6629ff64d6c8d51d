// JSON lines: what strings become, numbers written exactly, a line that outgrows its room,
// and a real parser's reading of every byte value.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "fake_target.h"
#include "json_text.h"

namespace {

std::string QuoteJson(const std::string &text) {
    JsonLine line;
    BeginJsonObject(&line);
    AppendJsonString(&line, text.data(), text.size());
    return std::string(line.sz + 1, line.cch - 1);
}

// Well-formed UTF-8 passes as it is; any byte that starts no well-formed sequence is one
// \u00XX, so that a reader gets the byte's Latin-1 character back.
TEST(JsonText, StringsAreEscapedAndInvalidUtf8BecomesLatin1) {
    struct Case {
        std::string strIn, strOut;
    } cases[] = {
        {"COM3", "\"COM3\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {std::string("\0\n\x1f\x7f", 4), "\"\\u0000\\u000a\\u001f\\u007f\""},
        {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\""},
        {"\x80", "\"\\u0080\""},                                   // a continuation alone
        {"\xc0\x80", "\"\\u00c0\\u0080\""},                        // an overlong NUL
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},             // a surrogate
        {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},  // past U+10FFFF
        {"\xe2\x82"
         "A",
         "\"\\u00e2\\u0082A\""},  // cut short
        {"\xff", "\"\\u00ff\""},
    };
    for (const Case &c : cases) EXPECT_EQ(QuoteJson(c.strIn), c.strOut) << c.strIn;
}

TEST(JsonText, NumbersAreWrittenExactly) {
    JsonLine line;
    BeginJsonObject(&line);
    AddJsonScaled(&line, "a", 7372800, 6, 1);
    AddJsonScaled(&line, "b", 8000000, 6, 1);
    AddJsonScaled(&line, "c", 50, 3, 0);
    AddJsonScaled(&line, "d", 12345, 3, 0);
    AddJsonDouble(&line, "e", 2.5, 2);
    AddJsonDouble(&line, "f", NAN, 2);
    AddJsonSigned(&line, "g", -3);
    AddJsonUnsigned(&line, "h", UINT64_MAX);
    AddJsonBool(&line, "i", 0);
    AddJsonString(&line, "j", nullptr);
    ASSERT_EQ(EndJsonObject(&line), 1);
    EXPECT_STREQ(line.sz,
                 "{\"a\":7.3728,\"b\":8,\"c\":0.050,\"d\":12.345,\"e\":2.50,\"f\":null,\"g\":-3,"
                 "\"h\":18446744073709551615,\"i\":false,\"j\":null}\n");
}

// A line cut short would be invalid JSON in a log that others parse: it is marked instead.
TEST(JsonText, ALineThatOutgrowsItsRoomIsMarked) {
    JsonLine line;
    BeginJsonObject(&line);
    std::string strLong(JSON_LINE_ROOM / 6, '\x01');  // six bytes each once escaped
    AddJsonString(&line, "message", strLong.c_str());
    EXPECT_EQ(EndJsonObject(&line), 0);
    EXPECT_LT(line.cch, sizeof(line.sz));
    EXPECT_EQ(line.sz[line.cch], '\0');
}

TEST(JsonText, EveryByteValueReadsBackThroughARealParser) {
    std::string strAll;
    for (int i = 0; i < 256; i++) strAll += (char)i;
    JsonLine line;
    BeginJsonObject(&line);
    AddJsonString(&line, "all", strAll.c_str() + 1);  // NUL ends a C string: tested above
    AddJsonString(&line, "utf8", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
    AddJsonScaled(&line, "crystal", 7372800, 6, 1);
    ASSERT_EQ(EndJsonObject(&line), 1);
    std::string strPath = MakeTempDir() + "/line.json";
    WriteTextFile(strPath, line.sz);
    ProgramResult result = RunProgram(
        "/usr/bin/python3 -c 'import json,sys; o=json.loads(open(sys.argv[1],\"rb\").read()); "
        "assert o[\"all\"]==\"\".join(map(chr,range(1,256))); "
        "assert o[\"utf8\"]==\"\\u00e9\\u20ac\\U0001f600\"; assert o[\"crystal\"]==7.3728; "
        "print(\"ok\")' " +
        strPath);
    EXPECT_EQ(result.out, "ok\n") << result.err;
}

}  // namespace
