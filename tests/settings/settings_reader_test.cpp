// The one reader of the settings files, value by value: every spelling a file of the program has
// taken, what gives way to the default and is told, and what is the default without a word.
#include "settings/settings_reader.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

enum class TKind { Switch, Number, Choice, Decimal };

struct TCase
{
    const char* Text; // as written after "key="
    TKind Kind;
    double Taken; // a switch as 0 or 1, a choice as its index, a decimal NaN for none
    bool Told;
};

// Switches default to true, numbers are 0..100 with 30 by default, the choice is north (0) or
// south, decimals lie within ±90 and are none by default.
const TCase Cases[] = {
    {"true", TKind::Switch, 1, false},
    {" TRUE ", TKind::Switch, 1, false},
    {"\"1\"", TKind::Switch, 1, false},
    {"False", TKind::Switch, 0, false},
    {"0", TKind::Switch, 0, false},
    {"yes", TKind::Switch, 1, true},
    {"off", TKind::Switch, 1, true},
    {"true, false", TKind::Switch, 1, true}, // Qt reads a list, which is no single value
    {"", TKind::Switch, 1, false},
    {"42", TKind::Number, 42, false},
    {" +7 ", TKind::Number, 7, false},
    {"100", TKind::Number, 100, false},
    {"101", TKind::Number, 30, true},
    {"-1", TKind::Number, 30, true},
    {"4294967338", TKind::Number, 30, true}, // 2^32 + 42: never cut to an int that fits
    {"0x10", TKind::Number, 30, true},
    {"4e1", TKind::Number, 30, true},
    {"ten", TKind::Number, 30, true},
    {"1, 2", TKind::Number, 30, true},
    {"", TKind::Number, 30, false},
    {"South", TKind::Choice, 1, false},
    {"east", TKind::Choice, 0, true},
    {"", TKind::Choice, 0, false},
    {"-55.75", TKind::Decimal, -55.75, false},
    {"90.5", TKind::Decimal, NAN, true},
    {"55,75", TKind::Decimal, NAN, true},
    {"", TKind::Decimal, NAN, false},
};

TEST(SettingsReader, EachValueIsTakenOrToldAndTheDefaultStandsInItsPlace)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    QByteArray text = "[values]\n";
    for (size_t i = 0; i < std::size(Cases); ++i)
        text += "k" + QByteArray::number(i) + "=" + Cases[i].Text + "\n";
    ASSERT_TRUE(testsupport::WriteFileBytes(QStringLiteral("values.ini"), text));

    settings::TSettingsReader file(QStringLiteral("values.ini"), QStringLiteral("values"));
    for (size_t i = 0; i < std::size(Cases); ++i) {
        const TCase& c = Cases[i];
        const QString key = QStringLiteral("k%1").arg(i);
        double taken = 0;
        switch (c.Kind) {
        case TKind::Switch:
            taken = file.Switch(key, true) ? 1 : 0;
            break;
        case TKind::Number:
            taken = file.Number(key, 30, 0, 100);
            break;
        case TKind::Choice:
            taken = file.Choice(key, {QStringLiteral("north"), QStringLiteral("south")}, 0);
            break;
        case TKind::Decimal:
            taken = file.Decimal(key, 90, QStringLiteral("широта")).value_or(NAN);
            break;
        }
        if (std::isnan(c.Taken))
            EXPECT_TRUE(std::isnan(taken)) << "«" << c.Text << "» gave " << taken;
        else
            EXPECT_EQ(taken, c.Taken) << "«" << c.Text << "»";
        EXPECT_EQ(file.RefusedKeys().contains(key), c.Told) << "«" << c.Text << "»";
    }
    EXPECT_TRUE(file.Refusals().contains(QStringLiteral("В «values.ini» у ключа k7 значение «true, false» — не false "
                                                        "и не true; взято true.")))
        << file.Refusals().toStdString();
}

} // namespace
