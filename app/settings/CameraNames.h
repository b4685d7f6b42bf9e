#pragma once
// PLACEHOLDER until the cameras' settings land: how camera names compare.
#include <string>
std::string FoldCameraName(const std::string& utf8);
