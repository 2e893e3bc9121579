// Little CMS 2 behind the picture loader. Rendering intent: relative colorimetric with black point
// compensation. An ID photo or a document scan must keep the colours it has; perceptual would
// also compress colours that sRGB can show, and most matrix profiles carry no perceptual table
// anyway. Colours outside sRGB are clipped, black maps to black.
//
// Transforms are made with cmsFLAGS_NOCACHE: without its one-pixel cache a transform holds no
// state while it converts, so the two decoding threads may use the same one at once.

#include "platform/picture/colour/ColourTransform.h"

#include <lcms2.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

namespace quillane {
namespace {

constexpr std::size_t kMaxCached = 16;  // far more profiles than a folder of photos holds
// The cache keeps each profile's bytes to tell them apart; a folder of pictures with large,
// distinct profiles must not make it hold more than this.
constexpr std::size_t kMaxCachedBytes = std::size_t{32} << 20;
// A profile whose conversion moves no probed colour by more than this is sRGB already (a copy of
// the standard profile under another name, or one rounded differently).
constexpr int kSrgbTolerance = 1;
constexpr std::uint32_t kFlags = cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE;

struct ProfileHandle {
    explicit ProfileHandle(cmsHPROFILE profile) : Get(profile) {}
    ProfileHandle(const ProfileHandle&) = delete;
    ProfileHandle& operator=(const ProfileHandle&) = delete;
    ~ProfileHandle() {
        if (Get) cmsCloseProfile(Get);
    }
    cmsHPROFILE Get;
};

class LcmsTransform final : public ColourTransform {
  public:
    LcmsTransform(cmsHTRANSFORM transform, PixelLayout input)
        : m_transform(transform), m_input(input) {}
    ~LcmsTransform() override { cmsDeleteTransform(m_transform); }
    LcmsTransform(const LcmsTransform&) = delete;
    LcmsTransform& operator=(const LcmsTransform&) = delete;

    PixelLayout Input() const override { return m_input; }
    void ToBgr(const std::uint8_t* in, std::uint8_t* bgr, int width) const override {
        cmsDoTransform(m_transform, in, bgr, static_cast<cmsUInt32Number>(width));
    }

  private:
    cmsHTRANSFORM m_transform;
    PixelLayout m_input;
};

cmsColorSpaceSignature SpaceOf(PixelLayout layout) {
    switch (layout) {
        case PixelLayout::Bgr:
            return cmsSigRgbData;
        case PixelLayout::Gray:
            return cmsSigGrayData;
        case PixelLayout::Cmyk:
        case PixelLayout::InvertedCmyk:
            return cmsSigCmykData;
    }
    std::abort();
}

cmsUInt32Number FormatOf(PixelLayout layout) {
    switch (layout) {
        case PixelLayout::Bgr:
            return TYPE_BGR_8;
        case PixelLayout::Gray:
            return TYPE_GRAY_8;
        case PixelLayout::Cmyk:
            return TYPE_CMYK_8;
        case PixelLayout::InvertedCmyk:
            return TYPE_CMYK_8_REV;
    }
    std::abort();
}

// True when the transform leaves every probed colour where it was: a grid through the RGB cube
// (or a gray ramp), so curves as well as primaries are compared.
bool LeavesSrgbAlone(const ColourTransform& transform) {
    const bool gray = transform.Input() == PixelLayout::Gray;
    std::vector<std::uint8_t> in, expected;
    for (int r = 0; r < 256; r += 15) {
        for (int g = gray ? r : 0; g < (gray ? r + 1 : 256); g += 15) {
            for (int b = gray ? r : 0; b < (gray ? r + 1 : 256); b += 15) {
                for (const int v : {b, g, r}) expected.push_back(static_cast<std::uint8_t>(v));
            }
        }
        if (gray) in.push_back(static_cast<std::uint8_t>(r));
    }
    if (!gray) in = expected;
    const int pixels = static_cast<int>(expected.size() / 3);
    std::vector<std::uint8_t> converted(expected.size());
    transform.ToBgr(in.data(), converted.data(), pixels);
    for (std::size_t i = 0; i < converted.size(); ++i) {
        if (std::abs(converted[i] - expected[i]) > kSrgbTolerance) return false;
    }
    return true;
}

std::shared_ptr<const ColourTransform> Make(cmsHPROFILE source, PixelLayout layout) {
    if (!source) return nullptr;
    // A profile for other pixels than these (CMYK on RGB, RGB on gray), or one that is no device's
    // description (an abstract or device-link profile), says nothing usable about this picture.
    const cmsProfileClassSignature kind = cmsGetDeviceClass(source);
    if (cmsGetColorSpace(source) != SpaceOf(layout) || kind == cmsSigLinkClass ||
        kind == cmsSigAbstractClass || kind == cmsSigNamedColorClass) {
        return nullptr;
    }
    const ProfileHandle srgb(cmsCreate_sRGBProfile());
    if (!srgb.Get) return nullptr;
    const cmsHTRANSFORM made = cmsCreateTransform(source, FormatOf(layout), srgb.Get, TYPE_BGR_8,
                                                  INTENT_RELATIVE_COLORIMETRIC, kFlags);
    if (!made) return nullptr;
    auto transform = std::make_shared<const LcmsTransform>(made, layout);
    if (layout != PixelLayout::Cmyk && layout != PixelLayout::InvertedCmyk &&
        LeavesSrgbAlone(*transform)) {
        return nullptr;
    }
    return transform;
}

// Transforms already made (or found unusable: a null one), by profile bytes and layout.
enum class Source { Icc, BuiltIn, Calibrated };
struct CachedTransform {
    Source From = Source::Icc;
    std::vector<std::uint8_t> Profile;
    std::size_t Hash = 0;
    PixelLayout Layout = PixelLayout::Bgr;
    std::shared_ptr<const ColourTransform> Transform;
};

std::shared_ptr<const ColourTransform> Cached(Source from, std::span<const std::uint8_t> key,
                                              PixelLayout layout,
                                              const std::function<cmsHPROFILE()>& open) {
    static std::mutex mutex;
    static std::deque<CachedTransform> cache;
    const std::size_t hash =
        std::hash<std::string_view>{}({reinterpret_cast<const char*>(key.data()), key.size()});
    {
        const std::lock_guard lock(mutex);
        for (const CachedTransform& entry : cache) {
            if (entry.From == from && entry.Hash == hash && entry.Layout == layout &&
                entry.Profile.size() == key.size() &&
                std::equal(key.begin(), key.end(), entry.Profile.begin())) {
                return entry.Transform;
            }
        }
    }
    // Made outside the lock: a large table takes a moment, and the other thread may be waiting
    // for an unrelated profile. Two threads making the same one at once waste only time.
    const ProfileHandle source(open());
    std::shared_ptr<const ColourTransform> made = Make(source.Get, layout);
    if (key.size() > kMaxCachedBytes) return made;  // used once, not kept
    const std::lock_guard lock(mutex);
    std::size_t held = key.size();
    for (const CachedTransform& entry : cache) held += entry.Profile.size();
    while (!cache.empty() && (cache.size() >= kMaxCached || held > kMaxCachedBytes)) {
        held -= cache.front().Profile.size();
        cache.pop_front();
    }
    cache.push_back({from, std::vector<std::uint8_t>(key.begin(), key.end()), hash, layout, made});
    return made;
}

}  // namespace

std::shared_ptr<const ColourTransform> TransformToSrgb(std::span<const std::uint8_t> icc,
                                                       PixelLayout layout) {
    if (icc.empty()) return nullptr;
    return Cached(Source::Icc, icc, layout, [icc] {
        return cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    });
}

namespace {

cmsHPROFILE RgbProfile(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries,
                       const double gamma[3]) {
    cmsToneCurve* curves[3] = {};
    for (int i = 0; i < 3; ++i) curves[i] = cmsBuildGamma(nullptr, gamma[i]);
    cmsHPROFILE profile = nullptr;
    if (curves[0] && curves[1] && curves[2]) {
        profile = cmsCreateRGBProfile(&white, &primaries, curves);
    }
    for (cmsToneCurve* curve : curves) {
        if (curve) cmsFreeToneCurve(curve);
    }
    return profile;
}

}  // namespace

std::shared_ptr<const ColourTransform> AdobeRgbToSrgb() {
    static const char kKey[] = "built-in Adobe RGB (1998)";
    return Cached(Source::BuiltIn, {reinterpret_cast<const std::uint8_t*>(kKey), sizeof kKey},
                  PixelLayout::Bgr, [] {
                      const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
                      const cmsCIExyYTRIPLE primaries = {
                          {0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
                      const double gamma[3] = {563.0 / 256, 563.0 / 256, 563.0 / 256};
                      return RgbProfile(d65, primaries, gamma);
                  });
}

std::shared_ptr<const ColourTransform> CalibratedRgbToSrgb(const CalibratedRgb& rgb) {
    return Cached(Source::Calibrated, {reinterpret_cast<const std::uint8_t*>(&rgb), sizeof rgb},
                  PixelLayout::Bgr, [&] {
                      cmsCIEXYZ white = {0, 0, 0};
                      cmsCIExyY xyY[3];
                      for (int i = 0; i < 3; ++i) {
                          const cmsCIEXYZ primary = {rgb.Xyz[i][0], rgb.Xyz[i][1], rgb.Xyz[i][2]};
                          // Endpoints no real device has: nothing to convert from.
                          if (!(primary.X >= 0 && primary.Y > 0 && primary.Z >= 0) ||
                              !(rgb.Gamma[i] > 0.1) || rgb.Gamma[i] > 10) {
                              return cmsHPROFILE{nullptr};
                          }
                          cmsXYZ2xyY(&xyY[i], &primary);
                          white.X += primary.X, white.Y += primary.Y, white.Z += primary.Z;
                      }
                      cmsCIExyY whitexyY;
                      cmsXYZ2xyY(&whitexyY, &white);
                      return RgbProfile(whitexyY, {xyY[0], xyY[1], xyY[2]}, rgb.Gamma);
                  });
}

void ConvertToSrgb(const ColourTransform& transform, const BgrView& pixels) {
    for (int y = 0; y < pixels.Height; ++y) {
        transform.ToBgr(pixels.Row(y), pixels.Row(y), pixels.Width);
    }
}

}  // namespace quillane
