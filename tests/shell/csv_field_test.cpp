#include <gtest/gtest.h>

#include "report/csv_field.h"

using velocast::csvField;
using velocast::csvRecord;

// What a spreadsheet would run stays text; what RFC 4180 must quote is quoted, and both at once.
TEST(CsvField, QuotesAsRfc4180AndNeutralisesWhatASpreadsheetWouldEvaluate) {
    struct Case {
        const char* value;
        const char* field;
    };
    const Case cases[] = {
        {"", ""},
        {"ana@example.com", "ana@example.com"},
        {"Plano Ouro", "Plano Ouro"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"=HYPERLINK(\"http://x.test\",\"ok\")", "\"'=HYPERLINK(\"\"http://x.test\"\",\"\"ok\"\")\""},
        {"=1+1", "'=1+1"},
        {"+55 11 5555", "'+55 11 5555"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\t=1", "'\t=1"},
        {"\r=1", "\"'\r=1\""},
        // Only the first character counts: inside a field they are plain text.
        {"ana+promo@example.com", "ana+promo@example.com"},
        {"550 5.1.1 no = such user", "550 5.1.1 no = such user"},
        {" =1", " =1"},
        {"'=1", "'=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(csvField(QString::fromUtf8(c.value)).toStdString(), c.field);
    }
    EXPECT_EQ(csvRecord({QStringLiteral("2026-03-09 12:00:00"), QStringLiteral("sent"),
                         QStringLiteral("=cmd|' /C calc'!A0"), QStringLiteral("Oi, Ana")})
                  .toStdString(),
              "2026-03-09 12:00:00,sent,'=cmd|' /C calc'!A0,\"Oi, Ana\"");
}
