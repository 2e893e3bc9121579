#include "imaging/cDIBSection.h"

#include "platform/base/Conversions.h"

namespace quillane {

namespace {
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint16_t kTrueColourBits = 24;
}  // namespace

cDIBSection::cDIBSection() = default;

cDIBSection::~cDIBSection() {
    ClearUp();
}

bool cDIBSection::CreateDIB(std::int32_t lHDC, std::int32_t lWidth, std::int32_t lHeight,
                            std::int32_t& hDib) {
    BITMAPINFOHEADER& header = m_tInfo.bmiHeader;
    header.biWidth = lWidth;
    header.biSize = kInfoHeaderSize;
    header.biHeight = lHeight;
    header.biPlanes = 1;
    header.biBitCount = kTrueColourBits;
    header.biCompression = BI_RGB;
    header.biSizeImage =
        static_cast<std::uint32_t>(CheckedMul32(header.biHeight, BytesPerScanLine()));
    // A negative height would make a top-down section, and every reader of this class relies on
    // memory row 0 being the bottom line; such a size is refused like a zero one.
    if (lHeight < 0) {
        m_pBits = nullptr;
        hDib = 0;
        return false;
    }
    hDib = CreateDIBSection(lHDC, &m_tInfo, DIB_RGB_COLORS, &m_pBits, 0, 0);
    return hDib != 0;
}

bool cDIBSection::Create(std::int32_t lWidth, std::int32_t lHeight) {
    ClearUp();
    m_hMemDC = CreateCompatibleDC(0);
    if (m_hMemDC == 0) return false;
    if (CreateDIB(m_hMemDC, lWidth, lHeight, m_hDibSection)) {
        m_hPrevBitmap = SelectObject(m_hMemDC, m_hDibSection);
        return true;
    }
    DeleteDC(m_hMemDC);
    m_hMemDC = 0;
    return false;
}

void cDIBSection::CreateFromPicture(StdPicture& picThis) {
    BITMAP tBM{};
    GetObjectA(picThis.Handle(), static_cast<std::int32_t>(sizeof tBM), &tBM);
    if (!Create(tBM.bmWidth, tBM.bmHeight)) return;

    // Every way the copy can fail leaves the object empty rather than Ready with blank pixels:
    // a caller that only looks at hdc() would otherwise take a black picture for the real one.
    const std::int32_t lDesktop = GetDesktopWindow();
    const std::int32_t lScreenDC = GetDC(lDesktop);
    if (lScreenDC == 0) {
        ClearUp();
        return;
    }
    const std::int32_t lTempDC = CreateCompatibleDC(lScreenDC);
    ReleaseDC(lDesktop, lScreenDC);
    if (lTempDC == 0) {
        ClearUp();
        return;
    }
    // A bitmap selected into another context cannot be selected here; copying from the
    // context's stock bitmap instead would silently give a blank picture.
    const std::int32_t lOld = SelectObject(lTempDC, picThis.Handle());
    if (lOld == 0) {
        DeleteDC(lTempDC);
        ClearUp();
        return;
    }
    LoadPictureBlt(lTempDC, 0, 0, -1, -1, SRCCOPY);
    SelectObject(lTempDC, lOld);
    DeleteDC(lTempDC);
}

std::int32_t cDIBSection::BytesPerScanLine() const {
    return CheckedAdd32(CheckedMul32(Width(), 3), 3) & ~std::int32_t{3};
}

std::int32_t cDIBSection::Width() const {
    return m_tInfo.bmiHeader.biWidth;
}

std::int32_t cDIBSection::height() const {
    return m_tInfo.bmiHeader.biHeight;
}

void cDIBSection::LoadPictureBlt(std::int32_t lHDC, std::int32_t lSrcLeft, std::int32_t lSrcTop,
                                 std::int32_t lSrcWidth, std::int32_t lSrcHeight,
                                 std::int32_t eRop) {
    if (lSrcWidth < 0) lSrcWidth = Width();
    if (lSrcHeight < 0) lSrcHeight = height();
    BitBlt(m_hMemDC, 0, 0, lSrcWidth, lSrcHeight, lHDC, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::PaintPicture(std::int32_t lHDC, std::int32_t lDestLeft, std::int32_t lDestTop,
                               std::int32_t lDestWidth, std::int32_t lDestHeight,
                               std::int32_t lSrcLeft, std::int32_t lSrcTop, std::int32_t eRop) {
    if (lDestWidth < 0) lDestWidth = Width();
    if (lDestHeight < 0) lDestHeight = height();
    BitBlt(lHDC, lDestLeft, lDestTop, lDestWidth, lDestHeight, m_hMemDC, lSrcLeft, lSrcTop, eRop);
}

std::int32_t cDIBSection::hdc() const {
    return m_hMemDC;
}

std::int32_t cDIBSection::hDib() const {
    return m_hDibSection;
}

std::uint8_t* cDIBSection::DIBSectionBitsPtr() const {
    return m_pBits;
}

void cDIBSection::ClearUp() {
    if (m_hMemDC != 0) {
        if (m_hDibSection != 0) {
            SelectObject(m_hMemDC, m_hPrevBitmap);
            DeleteObject(m_hDibSection);
        }
        DeleteDC(m_hMemDC);
    }
    m_hMemDC = 0;
    m_hDibSection = 0;
    m_hPrevBitmap = 0;
    m_pBits = nullptr;
}

std::uint8_t* cDIBSection::CheckedBits() const {
    if (m_pBits == nullptr || height() <= 0) return nullptr;
    const auto needed =
        static_cast<std::uint64_t>(height()) * static_cast<std::uint64_t>(BytesPerScanLine());
    return DIBSectionBytes(m_pBits) >= needed ? m_pBits : nullptr;
}

}  // namespace quillane
