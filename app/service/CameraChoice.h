#pragma once
// Which cameras a request asks for. The subject is the check string alone (every camera), or
// the check string, a space (half-width or full-width, as phones type it) and a camera's name,
// compared as FoldCameraName folds it (full-width and half-width forms, letter case alike).
// One reply goes to each requester, so the requests of one requester add up.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The word after the check string ("" for the check string alone); nullopt when the subject is
// not a request. subject is decoded UTF-8 with the white space at its ends removed.
std::optional<std::string> RequestWord(const std::string& subject, const std::string& checkString);

struct CameraChoice {
    std::vector<std::size_t> cameras; // in the settings' order, each once
    std::vector<std::string> unknown; // words no camera is called, as the requests wrote them

    // Adds one request's word: "" chooses every camera, a name its camera.
    void Add(const std::string& word, const std::vector<std::string>& names);
};

// Whether word switches the alerts: true for "arm" / "警戒", false for "disarm" / "解除" (folded
// as camera names are); nullopt for any other word.
std::optional<bool> ArmWord(const std::string& word);
