// The wizard's screen table, walked as the citizen walks the screens: what
// each one shows, the captions the buttons carry (a caption stays until a
// later screen changes it), the tooltip over each button, and where the
// forward button leads.
#include <gtest/gtest.h>

#include <string>

#include "WizardColours.h"
#include "WizardScreens.h"

namespace {

std::string Text(const char* text) { return text != NULL ? text : "<none>"; }

TEST(WizardScreens, EachScreenAsTheCitizenSeesIt)
{
    struct {
        const char* number;
        const char* prompt;
        const char* forwardCaption;  // NULL: button gone
        const char* endCaption;
        const char* forwardTip;      // NULL: no tip
        const char* endTip;
        bool explanationShort;
    } expected[] = {
        {"画面番号 01", "\n     失効申請を行いますか？", "&OK", "終了(&E)", "OKボタン", "終了ボタン", false},
        {"画面番号 02", "\n     ICカードをリーダライタにセットしてください。", "&OK", "申請中止(&C)", "OKボタン",
         "申請中止ボタン", false},
        {"画面番号 03", "\n     電子署名を作成しますか？", "電子署名(&S)", "申請中止(&C)", "電子署名ボタン",
         "申請中止ボタン", true},
        {"画面番号 04", "\n     失効申請を送信しますか？", "送信(&S)", "申請中止(&C)", "送信ボタン", "申請中止ボタン",
         true},
        {"画面番号 05", "\n     オンライン失効申請機能を終了します。", NULL, "終了(&E)", NULL, "終了ボタン", true},
    };
    // The template's captions; tooltips exist once a screen has made them.
    std::string forwardCaption = "&OK", endCaption = "終了(&E)";
    const char* tips[kTipCount] = {};
    for (int no = 1; no <= 5; ++no) {
        SCOPED_TRACE(no);
        const WizardScreen* screen = WizardScreenFor(no);
        ASSERT_TRUE(screen != NULL);
        EXPECT_EQ(expected[no - 1].number, Text(screen->number));
        EXPECT_EQ(expected[no - 1].prompt, Text(screen->prompt));
        if (screen->forward.caption != NULL)
            forwardCaption = screen->forward.caption;
        if (screen->end.caption != NULL)
            endCaption = screen->end.caption;
        if (expected[no - 1].forwardCaption != NULL) {
            EXPECT_EQ(expected[no - 1].forwardCaption, forwardCaption);
        }
        EXPECT_EQ(expected[no - 1].endCaption, endCaption);
        for (const WizardButton* button : {&screen->forward, &screen->end}) {
            if (button->createdTip != kTipNone) {
                EXPECT_TRUE(tips[button->createdTip] == NULL) << "tooltip made twice";
                tips[button->createdTip] = button->tipText;
            }
        }
        const char* forwardTip = screen->forward.relayTip == kTipNone ? NULL : tips[screen->forward.relayTip];
        const char* endTip = screen->end.relayTip == kTipNone ? NULL : tips[screen->end.relayTip];
        EXPECT_EQ(Text(expected[no - 1].forwardTip), Text(forwardTip));
        EXPECT_EQ(Text(expected[no - 1].endTip), Text(endTip));
        // Screens 1 and 2 explain in the long area; 3 and 4 above the table;
        // the verdict screen chooses by the verdict.
        if (no < 5) {
            EXPECT_EQ(expected[no - 1].explanationShort, screen->explanationId == 1025);
        } else {
            EXPECT_EQ(kAreasByVerdict, screen->areas);
        }
    }
    // Every tooltip was made, T6 too, with the end button's text.
    for (int tip = 0; tip < kTipCount; ++tip)
        EXPECT_TRUE(tips[tip] != NULL) << tip;
    EXPECT_EQ(std::string("終了ボタン"), Text(tips[kTipT6]));
    EXPECT_TRUE(WizardScreenFor(0) == NULL);
    EXPECT_TRUE(WizardScreenFor(6) == NULL);
}

TEST(WizardScreens, ForwardButtonTransitions)
{
    struct {
        short screen;
        int stepCode;
        short next;
    } rows[] = {
        {1, 0, 2},    {2, 0, 3},   {2, 704, 2}, {2, 700, 2}, {3, 0, 4},  {3, 702, 3},
        {4, 200, 5},  {4, 612, 5}, {4, 0, 5},   {5, 0, 5},   {0, 0, 0},  {6, 0, 6},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.next, NextWizardScreen(row.screen, row.stepCode)) << row.screen << " " << row.stepCode;
}

}  // namespace

// The panels keep the wizard's own colours, with black text on them,
// until a high-contrast theme is on; then the system's colours, the band
// as the dialog's face and the fields as text boxes.
TEST(WizardColours, OwnColoursUnlessHighContrast)
{
    // Per panel and flag: text and background as a COLOR_* index, or the
    // fixed colour when the index is -1.
    const struct {
        WizardPanel panel;
        bool highContrast;
        int text, background;
        unsigned long rgb;
    } rows[] = {{kPanelBand, false, -1, -1, 0xFFFFC0}, {kPanelField, false, -1, -1, 0xFFFFFF},
                {kPanelBand, true, 18, 15, 0}, {kPanelField, true, 8, 5, 0}};
    for (const auto& row : rows) {
        PanelColours c = WizardPanelColours(row.panel, row.highContrast);
        EXPECT_EQ(row.text, c.text.system ? c.text.systemIndex : -1) << row.panel << row.highContrast;
        EXPECT_EQ(row.background, c.background.system ? c.background.systemIndex : -1) << row.panel << row.highContrast;
        EXPECT_EQ(row.rgb, c.background.system ? 0ul : c.background.rgb) << row.panel << row.highContrast;
        EXPECT_EQ(0ul, c.text.system ? 0ul : c.text.rgb) << row.panel << row.highContrast;
    }
}
