#include "models/HotkeyConfig.h"
#include "platform/linux/XKeyTranslator.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace quonvera {
namespace {

using Keysyms = std::map<unsigned, unsigned long>;  // X key code -> keysym without modifiers

// The X key codes of a PC keyboard (kernel key code + 8) with a US layout.
Keysyms usKeyboard() {
    Keysyms keys = {
        {9, XK_Escape},     {10, XK_1},          {11, XK_2},         {12, XK_3},        {13, XK_4},
        {14, XK_5},         {15, XK_6},          {16, XK_7},         {17, XK_8},        {18, XK_9},
        {19, XK_0},         {20, XK_minus},      {21, XK_equal},     {22, XK_BackSpace}, {23, XK_Tab},
        {34, XK_bracketleft}, {35, XK_bracketright}, {36, XK_Return}, {37, XK_Control_L},
        {47, XK_semicolon}, {48, XK_apostrophe}, {49, XK_grave},     {50, XK_Shift_L},  {51, XK_backslash},
        {59, XK_comma},     {60, XK_period},     {61, XK_slash},     {62, XK_Shift_R},  {64, XK_Alt_L},
        {65, XK_space},     {66, XK_Caps_Lock},  {95, XK_F11},       {96, XK_F12},      {104, XK_KP_Enter},
        {105, XK_Control_R}, {108, XK_Alt_R},    {110, XK_Home},     {111, XK_Up},      {112, XK_Prior},
        {113, XK_Left},     {114, XK_Right},     {115, XK_End},      {116, XK_Down},    {117, XK_Next},
        {118, XK_Insert},   {119, XK_Delete},    {133, XK_Super_L},  {134, XK_Super_R}, {135, XK_Menu},
        {191, XK_F13},      {192, XK_F14},       {193, XK_F15},
    };
    const std::string rows[] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
    const unsigned rowStart[] = {24, 38, 52};
    for (int row = 0; row < 3; ++row)
        for (std::size_t i = 0; i < rows[row].size(); ++i) keys[rowStart[row] + i] = static_cast<unsigned long>(rows[row][i]);
    for (unsigned f = 0; f < 10; ++f) keys[67 + f] = XK_F1 + f;
    return keys;
}

XKeyboardMapping mappingOf(const Keysyms& keys) {
    XKeyboardMapping mapping;
    mapping.minKeycode = 8;
    mapping.keysymsPerKeycode = 2;
    mapping.keysyms.assign(2 * 248, 0);
    for (auto [keycode, keysym] : keys) mapping.keysyms[2 * (keycode - 8)] = keysym;
    return mapping;
}

XKeyTranslator translatorFor(const Keysyms& keys, unsigned long fnStandIn = XK_Control_R) {
    XKeyTranslator translator;
    translator.setMapping(mappingOf(keys), fnStandIn);
    return translator;
}

constexpr std::uint64_t hw = KeyFlag::nonCoalesced;

KeyEvent down(std::uint16_t code, std::uint64_t flags = 0, bool repeat = false) {
    return {KeyEventType::keyDown, code, hw | flags, repeat};
}
KeyEvent up(std::uint16_t code, std::uint64_t flags = 0) { return {KeyEventType::keyUp, code, hw | flags, false}; }
KeyEvent changed(std::uint16_t code, std::uint64_t flags) { return {KeyEventType::flagsChanged, code, hw | flags, false}; }

TEST(XKeyTranslatorTest, TypingKeysOfAUsKeyboardMapToTheirVirtualKeyCodes) {
    struct Case { unsigned keycode; std::uint16_t code; };
    const Case cases[] = {
        {38, 0},    {55, 9},    {24, 12},   {52, 6},    {58, 46},   {45, 40},   // a v q z m k
        {10, 18},   {14, 23},   {15, 22},   {19, 29},   {20, 27},   {21, 24},   // 1 5 6 0 - =
        {34, 33},   {35, 30},   {47, 41},   {48, 39},   {49, 50},   {51, 42},   // [ ] ; ' ` backslash
        {59, 43},   {60, 47},   {61, 44},                                       // , . /
        {36, 36},   {23, 48},   {65, 49},   {22, 51},   {9, 53},    {104, 76},  // Return Tab Space BackSpace Esc KP_Enter
        {67, 122},  {68, 120},  {71, 96},   {76, 109},  {95, 103},  {96, 111},  // F1 F2 F5 F10 F11 F12
        {191, 105}, {192, 107}, {193, 113},                                     // F13-F15
        {113, 123}, {114, 124}, {116, 125}, {111, 126},                         // arrows
        {110, 115}, {115, 119}, {112, 116}, {117, 121}, {119, 117},             // Home End PageUp PageDown Delete
    };
    auto translator = translatorFor(usKeyboard());
    for (const auto& c : cases) {
        SCOPED_TRACE("X key code " + std::to_string(c.keycode));
        EXPECT_EQ(translator.translate(c.keycode, true, false), down(c.code));
        EXPECT_EQ(translator.translate(c.keycode, false, false), up(c.code));
    }
}

TEST(XKeyTranslatorTest, EveryKeyOfTheKeyNameTableExceptFnHasExactlyOneKeyOnAUsKeyboard) {
    auto translator = translatorFor(usKeyboard());
    std::size_t named = 0;
    for (std::uint16_t code = 0; code < 128; ++code) {
        if (keyName(code) == "Key" + std::to_string(code)) continue;
        ++named;
        if (code == VirtualKey::fn) continue;  // the stand-in, checked below
        EXPECT_EQ(translator.keycodesFor(code).size(), 1u) << keyName(code);
    }
    EXPECT_EQ(named, keyNameTableSize());
}

TEST(XKeyTranslatorTest, ModifierKeysBecomeFlagsChangedEventsWithTheirFlag) {
    struct Case { unsigned keycode; std::uint16_t code; std::uint64_t flag; };
    const Case cases[] = {
        {50, VirtualKey::shift, KeyFlag::shift},        {62, VirtualKey::rightShift, KeyFlag::shift},
        {37, VirtualKey::control, KeyFlag::control},    {64, VirtualKey::option, KeyFlag::option},
        {108, VirtualKey::rightOption, KeyFlag::option}, {133, VirtualKey::command, KeyFlag::command},
        {134, VirtualKey::rightCommand, KeyFlag::command}, {105, VirtualKey::fn, KeyFlag::fn},  // Right Ctrl stands in for fn
    };
    auto translator = translatorFor(usKeyboard());
    for (const auto& c : cases) {
        SCOPED_TRACE("X key code " + std::to_string(c.keycode));
        EXPECT_EQ(translator.translate(c.keycode, true, false), changed(c.code, c.flag));
        EXPECT_EQ(translator.translate(38, true, false), down(0, c.flag));
        EXPECT_EQ(translator.translate(38, false, false), up(0, c.flag));
        EXPECT_EQ(translator.translate(c.keycode, false, false), changed(c.code, 0));
    }
}

TEST(XKeyTranslatorTest, FlagsFollowEveryHeldModifierAndBothKeysOfAPair) {
    auto translator = translatorFor(usKeyboard());
    EXPECT_EQ(translator.translate(50, true, false), changed(VirtualKey::shift, KeyFlag::shift));
    EXPECT_EQ(translator.translate(62, true, false), changed(VirtualKey::rightShift, KeyFlag::shift));
    EXPECT_EQ(translator.translate(133, true, false), changed(VirtualKey::command, KeyFlag::shift | KeyFlag::command));
    EXPECT_EQ(translator.translate(50, false, false), changed(VirtualKey::shift, KeyFlag::shift | KeyFlag::command));
    EXPECT_EQ(translator.translate(62, false, false), changed(VirtualKey::rightShift, KeyFlag::command));
    EXPECT_EQ(translator.translate(37, true, false), changed(VirtualKey::control, KeyFlag::command | KeyFlag::control));
    EXPECT_EQ(translator.translate(55, true, false), down(VirtualKey::v, KeyFlag::command | KeyFlag::control));
}

TEST(XKeyTranslatorTest, RepeatsAreMarkedAndRepeatedModifierPressesProduceNothing) {
    auto translator = translatorFor(usKeyboard());
    EXPECT_EQ(translator.translate(38, true, false), down(0));
    EXPECT_EQ(translator.translate(38, true, false), down(0, 0, true));  // pressed while down
    EXPECT_EQ(translator.translate(38, true, true), down(0, 0, true));   // the server's mark
    EXPECT_EQ(translator.translate(38, false, false), up(0));
    EXPECT_EQ(translator.translate(38, true, false), down(0));
    EXPECT_EQ(translator.translate(55, true, true), down(9, 0, true));

    EXPECT_TRUE(translator.translate(37, true, false));
    EXPECT_FALSE(translator.translate(37, true, true));
    EXPECT_TRUE(translator.translate(37, false, false));
    EXPECT_FALSE(translator.translate(37, false, false));  // a release never seen pressed
}

TEST(XKeyTranslatorTest, TheFnStandInIsChosenByKeysymAndNoLongerCountsAsItsModifier) {
    struct Case { const char* name; unsigned long standIn; unsigned keycode; KeyEvent expected; };
    const Case cases[] = {
        {"Right Ctrl by default", XK_Control_R, 105, changed(VirtualKey::fn, KeyFlag::fn)},
        {"no stand-in: Right Ctrl is Control", 0, 105, changed(VirtualKey::rightControl, KeyFlag::control)},
        {"Menu stands in", XK_Menu, 135, changed(VirtualKey::fn, KeyFlag::fn)},
        {"Menu stands in: Right Ctrl is Control", XK_Menu, 105, changed(VirtualKey::rightControl, KeyFlag::control)},
        {"Super_R stands in", XK_Super_R, 134, changed(VirtualKey::fn, KeyFlag::fn)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto translator = translatorFor(usKeyboard(), c.standIn);
        EXPECT_EQ(translator.translate(c.keycode, true, false), c.expected);
    }
    auto noStandIn = translatorFor(usKeyboard(), 0);
    EXPECT_FALSE(noStandIn.translate(135, true, false)) << "Menu has no counterpart of its own";
    EXPECT_FALSE(noStandIn.translate(66, true, false)) << "Caps Lock is not a modifier of the model";
}

TEST(XKeyTranslatorTest, KeysFollowTheLayoutAndFallBackToTheirPlaceOnAUsKeyboard) {
    auto dvorak = usKeyboard();
    dvorak[55] = XK_k;       // the US V key
    dvorak[60] = XK_v;       // the US period key
    dvorak[24] = XK_apostrophe;
    auto french = usKeyboard();
    french[10] = XK_ampersand;  // the digit row types symbols without Shift
    french[24] = XK_a;
    french[38] = XK_q;
    auto russian = usKeyboard();
    russian[55] = XK_Cyrillic_em;

    struct Case { const char* name; Keysyms layout; unsigned keycode; std::uint16_t code; };
    const Case cases[] = {
        {"Dvorak V", dvorak, 60, 9},           {"Dvorak K on the US V key", dvorak, 55, 40},
        {"Dvorak apostrophe", dvorak, 24, 39}, {"French digit 1 by place", french, 10, 18},
        {"French A", french, 24, 0},           {"French Q", french, 38, 12},
        {"Cyrillic letter by place", russian, 55, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto translator = translatorFor(c.layout);
        EXPECT_EQ(translator.virtualKeyCode(c.keycode), c.code);
    }
    EXPECT_EQ(translatorFor(dvorak).keycodesFor(VirtualKey::v), std::vector<unsigned>{60});
}

TEST(XKeyTranslatorTest, ANewMappingKeepsHeldKeysAndRecountsTheirFlags) {
    XKeyTranslator translator;
    translator.setMapping(mappingOf(usKeyboard()), 0);
    EXPECT_EQ(translator.translate(105, true, false), changed(VirtualKey::rightControl, KeyFlag::control));
    translator.setMapping(mappingOf(usKeyboard()), XK_Control_R);
    EXPECT_EQ(translator.flags(), hw | KeyFlag::fn);
    EXPECT_EQ(translator.translate(105, false, false), changed(VirtualKey::fn, 0));
}

}  // namespace
}  // namespace quonvera
