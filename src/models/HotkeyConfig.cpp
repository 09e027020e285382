#include "models/HotkeyConfig.h"

#include <unordered_map>
#include <vector>

namespace quonvera {
namespace {

const std::unordered_map<std::uint16_t, std::string>& keyNames() {
    static const std::unordered_map<std::uint16_t, std::string> table = {
        {0, "A"},     {1, "S"},    {2, "D"},    {3, "F"},    {4, "H"},    {5, "G"},    {6, "Z"},    {7, "X"},
        {8, "C"},     {9, "V"},    {11, "B"},   {12, "Q"},   {13, "W"},   {14, "E"},   {15, "R"},   {16, "Y"},
        {17, "T"},    {18, "1"},   {19, "2"},   {20, "3"},   {21, "4"},   {22, "6"},   {23, "5"},   {24, "="},
        {25, "9"},    {26, "7"},   {27, "-"},   {28, "8"},   {29, "0"},   {30, "]"},   {31, "O"},   {32, "U"},
        {33, "["},    {34, "I"},   {35, "P"},   {36, "↩"},   {37, "L"},   {38, "J"},   {39, "'"},   {40, "K"},
        {41, ";"},    {42, "\\"},  {43, ","},   {44, "/"},   {45, "N"},   {46, "M"},   {47, "."},   {48, "⇥"},
        {49, "Space"}, {50, "`"},  {51, "⌫"},   {53, "⎋"},   {96, "F5"},  {97, "F6"},  {98, "F7"},  {99, "F3"},
        {100, "F8"},  {101, "F9"}, {103, "F11"}, {105, "F13"}, {107, "F14"}, {109, "F10"}, {111, "F12"},
        {113, "F15"}, {118, "F4"}, {120, "F2"}, {122, "F1"}, {123, "←"},  {124, "→"},  {125, "↓"},  {126, "↑"},
        {63, "fn"},   {76, "⌅"},   {115, "↖"},  {116, "⇞"},  {117, "⌦"},  {119, "↘"},  {121, "⇟"},
    };
    return table;
}

}  // namespace

std::string keyName(std::uint16_t keyCode) {
    const auto& table = keyNames();
    if (auto it = table.find(keyCode); it != table.end()) return it->second;
    return "Key" + std::to_string(keyCode);
}

std::size_t keyNameTableSize() { return keyNames().size(); }

std::string HotkeyConfig::compactDescription() const {
    std::string text;
    if (useControl) text += "⌃";
    if (useOption) text += "⌥";
    if (useShift) text += "⇧";
    if (useCommand) text += "⌘";
    if (useFn) text += "fn";
    if (keyCode) text += keyName(*keyCode);
    return text.empty() ? "None" : text;
}

std::string HotkeyConfig::longDescription() const {
    std::vector<std::string> parts;
    if (useControl) parts.emplace_back("Control");
    if (useOption) parts.emplace_back("Option");
    if (useShift) parts.emplace_back("Shift");
    if (useCommand) parts.emplace_back("Command");
    if (useFn) parts.emplace_back("Fn");
    if (keyCode) parts.push_back(keyName(*keyCode));
    if (parts.empty()) return "None";
    std::string text = parts.front();
    for (std::size_t i = 1; i < parts.size(); ++i) text += "+" + parts[i];
    return text;
}

}  // namespace quonvera
