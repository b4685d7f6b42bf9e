#include "mail/JisHeaderEncoder.h"

std::string CJisHeaderEncoder::ShiftJisToJis(std::string_view) {
    return {};
}
std::string CJisHeaderEncoder::MakeEncodedWord(std::string_view) {
    return {};
}
std::string CJisHeaderEncoder::DecodeHeaderText(std::string_view) {
    return {};
}
std::string CJisHeaderEncoder::JisToShiftJis(std::string_view) {
    return {};
}
std::string CJisHeaderEncoder::DecodeBase64Text(std::string_view) {
    return {};
}
