#include <gtest/gtest.h>

#include "notices/notices.h"

using namespace velocast;

TEST(Notices, CaptionAndMessageFollowTheDetail) {
    EXPECT_EQ(noticeCaption(QStringLiteral("Caixa")), QStringLiteral("Velocast"));
    EXPECT_EQ(noticeMessage(kAberturaDeTabela, QStringLiteral("Caixa")),
              QStringLiteral("Abertura de tabela !\n\rCaixa"));
    EXPECT_EQ(noticeCaption(QString()), QStringLiteral("Korvana"));
    EXPECT_EQ(noticeMessage(kGravandoNaTabela, QString()), kGravandoNaTabela);
}

TEST(Notices, ErrorReportAddsAFullStopOnlyWhenNeeded) {
    EXPECT_EQ(errorReportText(QStringLiteral("table not found")), QStringLiteral("table not found."));
    EXPECT_EQ(errorReportText(QStringLiteral("done.")), QStringLiteral("done."));
    EXPECT_EQ(errorReportText(QStringLiteral("ends with blank ")), QStringLiteral("ends with blank "));
    EXPECT_EQ(errorReportText(QStringLiteral("falhou!")), QStringLiteral("falhou!"));  // '!' is below '.'
}

TEST(Notices, HeadlessLineEscapesEveryControlCharacter) {
    EXPECT_EQ(StderrNotices::escape(QStringLiteral("a\r\nb\t\"c\"\\\x01ção")),
              QStringLiteral("a\\r\\nb\\t\\\"c\\\"\\\\\\x01ção"));
}
