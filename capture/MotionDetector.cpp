#include "capture/MotionDetector.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

// The gain is the median of frame / background in steps of 1/128 (0.8 %, two levels at the
// bright end) up to 4x; darker background pixels say little about a gain and are left out.
constexpr int kGainOne = 128;
constexpr int kGainBins = 4 * kGainOne;
constexpr int kGainMinimumBackground = 16 << 8;
// With fewer pixels bright enough to judge (a night scene), the gain is taken as 1.
constexpr int kGainMinimumSharePercent = 10;
// A change over this much of the picture at once is the scene, not something in it: a lamp in
// a dark room (no gain can be judged from black), the camera switching to night mode, or the
// camera turned. The background is learnt again from the frame.
constexpr int kWholePictureChangePercent = 75;

int64_t Ms(std::chrono::milliseconds t) { return t.count(); }

} // namespace

MotionParameters MotionParameters::Presets(MotionSensitivity sensitivity) {
    MotionParameters p;
    switch (sensitivity) {
    case MotionSensitivity::Low:
        p.pixelThreshold = 35;
        p.minimumSharePercent = 6;
        p.minimumDurationMs = 1000;
        break;
    case MotionSensitivity::Medium:
        break;
    case MotionSensitivity::High:
        p.pixelThreshold = 15;
        p.minimumSharePercent = 1;
        p.minimumDurationMs = 400;
        break;
    }
    return p;
}

std::string MotionParameters::Check() const {
    if (pixelThreshold < 1 || pixelThreshold > 254)
        return "pixel threshold (1-254)";
    if (!(minimumSharePercent > 0 && minimumSharePercent <= 100))
        return "minimum share (above 0, at most 100 %)";
    if (minimumDurationMs < 0 || minimumDurationMs > 60000)
        return "minimum duration (0-60000 ms)";
    if (quietTimeMs < 0 || quietTimeMs > 3600000)
        return "quiet time (0-3600000 ms)";
    if (adaptationPercent < 1 || adaptationPercent > 100)
        return "background adaptation (1-100 %)";
    if (framesPerSecond < 1 || framesPerSecond > 30)
        return "frames per second (1-30)";
    return {};
}

MotionDetector::MotionDetector(const MotionParameters& parameters, std::vector<MaskRect> mask)
    : m_parameters(parameters.Check().empty()
                       ? parameters
                       : MotionParameters::Presets(MotionSensitivity::Medium)),
      m_maskRects(std::move(mask)) {}

bool MotionDetector::Wants(std::chrono::milliseconds time) const {
    if (!m_lastAnalysed)
        return true;
    // A tenth of slack, so a 30 frames/s source rounding to 199 ms is not skipped a whole frame.
    const int64_t interval = 900 / m_parameters.framesPerSecond;
    return Ms(time) - Ms(*m_lastAnalysed) >= interval || time < *m_lastAnalysed;
}

void MotionDetector::Reset() {
    m_background.clear();
    m_width = m_height = 0;
    m_lastAnalysed.reset();
    m_runStart.reset();
    m_lastMoved.reset();
    m_inEvent = false;
}

void MotionDetector::BuildMask(int width, int height) {
    m_counted.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 1);
    for (const MaskRect& r : m_maskRects) {
        // Rounded outwards: a masked region covers every pixel it touches.
        const int x0 = std::clamp(r.x * width / 100, 0, width);
        const int y0 = std::clamp(r.y * height / 100, 0, height);
        const int x1 = std::clamp(((r.x + r.width) * width + 99) / 100, 0, width);
        const int y1 = std::clamp(((r.y + r.height) * height + 99) / 100, 0, height);
        for (int y = y0; y < y1; ++y)
            std::fill_n(m_counted.begin() + static_cast<std::ptrdiff_t>(y) * width + x0, x1 - x0,
                        uint8_t{0});
    }
    m_countedPixels = static_cast<int>(std::count(m_counted.begin(), m_counted.end(), 1));
}

void MotionDetector::Learn(const LumaImage& image) {
    m_width = image.width;
    m_height = image.height;
    BuildMask(m_width, m_height);
    m_background.resize(image.pixels.size());
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        m_background[i] = static_cast<uint16_t>(image.pixels[i] << 8);
}

MotionResult MotionDetector::Analyse(const LumaImage& image, std::chrono::milliseconds time) {
    MotionResult result;
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() !=
            static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
        return result;
    if (image.width != m_width || image.height != m_height || m_background.empty()) {
        Learn(image);
        m_lastAnalysed = time;
        result.moving = m_inEvent;
        return result;
    }
    m_lastAnalysed = time;
    const std::size_t count = image.pixels.size();
    const uint8_t* pixels = image.pixels.data();

    // 1. The frame's gain against the background.
    std::array<int, kGainBins> histogram{};
    int judged = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int bg = m_background[i];
        if (!m_counted[i] || bg < kGainMinimumBackground)
            continue;
        const int bin = ((pixels[i] << 15) + bg / 2) / bg; // (p / (bg/256)) x 128, rounded
        ++histogram[static_cast<std::size_t>(std::min(bin, kGainBins - 1))];
        ++judged;
    }
    int gain = kGainOne;
    if (judged > 0 && judged * 100 >= m_countedPixels * kGainMinimumSharePercent) {
        int seen = 0;
        for (int bin = 0; bin < kGainBins; ++bin) {
            seen += histogram[static_cast<std::size_t>(bin)];
            if (seen * 2 >= judged) {
                gain = std::max(bin, 1);
                break;
            }
        }
    }
    result.gain = static_cast<double>(gain) / kGainOne;

    // The background takes the new brightness at once, so the change is neither motion now
    // nor a ghost later.
    if (gain != kGainOne)
        for (uint16_t& bg : m_background)
            bg = static_cast<uint16_t>(std::min(255 << 8, bg * gain / kGainOne));

    // 2. Changed pixels, then 4. the background follows the frame.
    const int threshold = m_parameters.pixelThreshold << 8;
    const int rate = m_parameters.adaptationPercent;
    int changed = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int p = pixels[i] << 8;
        const int bg = m_background[i];
        const int difference = p - bg;
        changed += (m_counted[i] && std::abs(difference) > threshold) ? 1 : 0;
        m_background[i] = static_cast<uint16_t>(bg + difference * rate / 100);
    }
    result.analysed = true;
    result.changedPercent = m_countedPixels > 0 ? 100.0 * changed / m_countedPixels : 0.0;
    bool frameMoves =
        m_countedPixels > 0 && result.changedPercent >= m_parameters.minimumSharePercent;
    if (result.changedPercent >= kWholePictureChangePercent) {
        Learn(image);
        frameMoves = false;
    }

    // 3. Events.
    if (frameMoves) {
        if (!m_runStart)
            m_runStart = time;
        m_lastMoved = time;
    } else {
        m_runStart.reset();
    }
    if (m_inEvent && m_lastMoved && Ms(time) - Ms(*m_lastMoved) >= m_parameters.quietTimeMs)
        m_inEvent = false;
    if (!m_inEvent && m_runStart && Ms(time) - Ms(*m_runStart) >= m_parameters.minimumDurationMs) {
        m_inEvent = true;
        result.eventStarted = true;
    }
    result.moving = m_inEvent;
    return result;
}
