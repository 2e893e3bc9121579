// libjpeg reports fatal errors by longjmp; that is confined to JpegSession::Guard, and all
// cleanup happens in JpegSession's destructor.

#include "platform/picture/jpeg/JpegDecoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
// jerror.h after jpeglib.h: the message codes tell memory trouble and corrupt data apart.
#include <jerror.h>

#include "platform/picture/FileSnapshot.h"
#include "platform/picture/colour/ColourProfile.h"
#include "platform/picture/colour/ColourTransform.h"
#include "platform/picture/exif/Orientation.h"
#include "platform/picture/jpeg/JpegReaderChoice.h"
#include "platform/picture/jpeg/JpegScanBudget.h"
#include "platform/picture/jpeg/progressive/JpegProgressiveBands.h"
#include "platform/picture/jpeg/progressive/JpegProgressiveReader.h"
#include "platform/picture/jpeg/progressive/JpegShrunkRows.h"
#include "platform/picture/jpeg/sequential/JpegSequentialReader.h"

namespace quillane {
namespace {

constexpr unsigned kMaxMarkerBytes = 0xFFFF;  // a marker segment can hold no more

struct JpegErrorManager {
    jpeg_error_mgr Base;  // first, so libjpeg's pointer to it is a pointer to the whole
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX] = {};
    bool OutOfMemory = false;
    bool TooMuchWork = false;  // past the scan budget, refused in the budget's own words
};

// libjpeg's progress hook, which also adds up the blocks of each scan as libjpeg starts it. The
// walk asked before decoding (CheckScanWork) reads the scan headers the way our reader does;
// where libjpeg reads on past a structure that walk stops on (a segment whose length field says
// less than its own two bytes, which libjpeg steps over), this count still holds libjpeg to
// the budget.
struct ScanProgress {
    jpeg_progress_mgr Base;  // first, so libjpeg's pointer to it is a pointer to the whole
    std::optional<JpegScanBudget> Budget;  // once the frame is known
    int CountedScans = 0;
};

// Warnings that mean the pixels are damaged. libjpeg fills what it could not decode with gray
// and carries on; a batch tool must not turn that into a good-looking output file.
bool IsCorruptDataWarning(int code) {
    switch (code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_MUST_RESYNC:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_NOT_SEQUENTIAL:
        case JWRN_BOGUS_PROGRESSION:
            return true;
        default:
            return false;
    }
}

bool IsMemoryError(int code) {
    return code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE;
}

[[noreturn]] void JumpOut(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    if (manager->Message[0] == '\0') (*cinfo->err->format_message)(cinfo, manager->Message);
    manager->OutOfMemory = IsMemoryError(cinfo->err->msg_code);
    std::longjmp(manager->Jump, 1);
}

void OnErrorExit(j_common_ptr cinfo) {
    JumpOut(cinfo);
}

void OnMessage(j_common_ptr cinfo, int level) {
    // Level -1 is a warning; higher levels are trace output, which is not wanted.
    if (level < 0) {
        cinfo->err->num_warnings++;
        if (IsCorruptDataWarning(cinfo->err->msg_code)) JumpOut(cinfo);
    }
}

void OnProgress(j_common_ptr common) {
    if (!common->is_decompressor) return;
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    if (cinfo->input_scan_number > kMaxScans) {
        std::snprintf(manager->Message, sizeof manager->Message, "more than %d progressive scans",
                      kMaxScans);
        JumpOut(common);
    }
    // Called before each step of input: a scan number not counted yet is a scan whose header
    // libjpeg has just read and whose data it has not decoded.
    auto* progress = reinterpret_cast<ScanProgress*>(cinfo->progress);
    if (!progress->Budget || cinfo->input_scan_number <= progress->CountedScans) return;
    progress->CountedScans = cinfo->input_scan_number;
    std::size_t components[MAX_COMPS_IN_SCAN] = {};
    const auto count =
        static_cast<std::size_t>(std::clamp(cinfo->comps_in_scan, 0, MAX_COMPS_IN_SCAN));
    for (std::size_t i = 0; i < count; ++i) {
        components[i] = static_cast<std::size_t>(cinfo->cur_comp_info[i]->component_index);
    }
    if (!progress->Budget->Add(std::span(components, count))) {
        manager->TooMuchWork = true;
        JumpOut(common);
    }
}

// libjpeg's input: the source's bytes a window at a time. At the end it is given an end-of-image
// marker after a warning, which OnMessage turns into the failure of a cut-short file.
struct WindowInput {
    jpeg_source_mgr Base;  // first, so libjpeg's pointer to it is a pointer to the whole
    JpegWindow* Window;
    std::size_t Next;  // the first byte not yet handed to libjpeg
};

boolean FillInput(j_decompress_ptr cinfo) {
    auto* input = reinterpret_cast<WindowInput*>(cinfo->src);
    const std::span<const std::uint8_t> bytes =
        input->Window->From(input->Next, JpegWindow::kWindowBytes / 2);
    if (bytes.empty()) {
        static const JOCTET kEnd[] = {0xFF, JPEG_EOI};
        WARNMS(cinfo, JWRN_JPEG_EOF);
        input->Base.next_input_byte = kEnd;
        input->Base.bytes_in_buffer = sizeof kEnd;
        return TRUE;
    }
    input->Base.next_input_byte = bytes.data();
    input->Base.bytes_in_buffer = bytes.size();
    input->Next += bytes.size();
    return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    auto* input = reinterpret_cast<WindowInput*>(cinfo->src);
    const auto skip = static_cast<std::size_t>(count);
    if (skip <= input->Base.bytes_in_buffer) {
        input->Base.next_input_byte += skip;
        input->Base.bytes_in_buffer -= skip;
        return;
    }
    input->Next += skip - input->Base.bytes_in_buffer;
    input->Base.bytes_in_buffer = 0;
}

void NoInputWork(j_decompress_ptr) {}

class JpegSession {
  public:
    explicit JpegSession(const JpegSource& source) : m_window(source) {
        std::memset(&m_cinfo, 0, sizeof m_cinfo);
        m_cinfo.err = jpeg_std_error(&m_error.Base);
        m_error.Base.error_exit = OnErrorExit;
        m_error.Base.emit_message = OnMessage;
        m_progress.Base.progress_monitor = OnProgress;
    }
    JpegSession(const JpegSession&) = delete;
    JpegSession& operator=(const JpegSession&) = delete;
    ~JpegSession() {
        if (m_created) jpeg_destroy_decompress(&m_cinfo);
    }

    // Runs libjpeg calls; false when libjpeg gave up. The work must not hold objects with
    // destructors, since a longjmp out of it would skip them.
    template <class Work>
    bool Guard(Work&& work) {
        if (setjmp(m_error.Jump)) return false;
        work();
        return true;
    }

    // Creates the decompressor and reads the header, keeping APP1 segments for the EXIF data and
    // APP2 segments for the colour profile.
    bool Start() {
        return Guard([this] {
            jpeg_create_decompress(&m_cinfo);
            m_created = true;
            m_cinfo.progress = &m_progress.Base;
            // The whole-picture buffers of a progressive file count against this; past it
            // libjpeg stops with "Backing store not supported" instead of allocating.
            m_cinfo.mem->max_memory_to_use = static_cast<long>(kMaxBufferBytes);
            m_input.Base.init_source = NoInputWork;
            m_input.Base.fill_input_buffer = FillInput;
            m_input.Base.skip_input_data = SkipInput;
            m_input.Base.resync_to_restart = jpeg_resync_to_restart;
            m_input.Base.term_source = NoInputWork;
            m_cinfo.src = &m_input.Base;
            jpeg_save_markers(&m_cinfo, kExifSegment, kMaxMarkerBytes);
            jpeg_save_markers(&m_cinfo, kIccSegment, kMaxMarkerBytes);
            jpeg_read_header(&m_cinfo, TRUE);
        });
    }

    // From here on libjpeg's scans are held to the budget as libjpeg reads them.
    void CountScans(const JpegFrame& frame) { m_progress.Budget.emplace(frame); }

    PictureFailure Failure() const {
        // A failed read ends the data early, which libjpeg takes for a file cut short.
        if (m_window.Failed()) return FileAccessFailure(m_window.Failed());
        if (m_error.TooMuchWork) return ScanWorkRefusal();
        if (m_error.OutOfMemory) {
            return {ErrorNumber::OutOfMemory,
                    std::string("needs more memory than allowed (") + m_error.Message + ")"};
        }
        return DamagedJpeg(m_error.Message);
    }

    jpeg_decompress_struct& Info() { return m_cinfo; }

  private:
    JpegWindow m_window;
    WindowInput m_input{{}, &m_window, 0};
    jpeg_decompress_struct m_cinfo;
    JpegErrorManager m_error;
    ScanProgress m_progress = {};
    bool m_created = false;
};

std::optional<PictureFailure> CheckColourSpace(const jpeg_decompress_struct& cinfo) {
    const bool known =
        (cinfo.jpeg_color_space == JCS_GRAYSCALE && cinfo.num_components == 1) ||
        ((cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB) &&
         cinfo.num_components == 3) ||
        ((cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) &&
         cinfo.num_components == 4);
    if (known) return std::nullopt;
    return PictureFailure{ErrorNumber::InvalidPicture,
                          "is a JPEG with an unsupported colour space (" +
                              std::to_string(cinfo.num_components) + " components)"};
}

// The segments of one kind libjpeg kept while it read the header, in file order.
std::vector<std::span<const std::uint8_t>> SavedSegments(const jpeg_decompress_struct& cinfo,
                                                         std::uint8_t kind) {
    std::vector<std::span<const std::uint8_t>> saved;
    for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker; marker = marker->next) {
        if (marker->marker == kind) saved.emplace_back(marker->data, marker->data_length);
    }
    return saved;
}

// The conversion into sRGB the file's profile asks for; null when the pixels are sRGB already
// or the profile cannot be used.
std::shared_ptr<const ColourTransform> ColourOf(const jpeg_decompress_struct& cinfo,
                                                PixelLayout layout) {
    const std::vector<std::span<const std::uint8_t>> app2 = SavedSegments(cinfo, kIccSegment);
    if (!app2.empty()) {
        if (const auto icc = IccFromJpegChunks(app2)) return TransformToSrgb(*icc, layout);
    }
    if (layout != PixelLayout::Bgr) return nullptr;
    for (const std::span<const std::uint8_t> app1 : SavedSegments(cinfo, kExifSegment)) {
        if (ExifSaysAdobeRgb(app1)) {
            return AdobeRgbToSrgb();
        }
    }
    return nullptr;
}

std::uint8_t MulDiv255(unsigned a, unsigned b) {
    return static_cast<std::uint8_t>((a * b + 127) / 255);
}

// CMYK to BGR by the plain subtractive rule. Photoshop writes CMYK inverted (255 = no ink)
// and marks such files with its APP14 segment; without that segment 255 means full ink.
void CmykRowToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, int width, bool inverted) {
    const unsigned flip = inverted ? 0 : 255;
    for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const unsigned c = cmyk[0] ^ flip, m = cmyk[1] ^ flip, y = cmyk[2] ^ flip;
        const unsigned k = cmyk[3] ^ flip;
        bgr[0] = MulDiv255(y, k);
        bgr[1] = MulDiv255(m, k);
        bgr[2] = MulDiv255(c, k);
    }
}

// The frame as libjpeg read it, for the choice of reader.
JpegFrame FrameOf(const jpeg_decompress_struct& cinfo) {
    JpegFrame frame;
    frame.Progressive = cinfo.progressive_mode;
    frame.Arithmetic = cinfo.arith_code;
    frame.Precision = cinfo.data_precision;
    frame.Width = static_cast<int>(cinfo.image_width);
    frame.Height = static_cast<int>(cinfo.image_height);
    for (int i = 0; i < cinfo.num_components; ++i) {
        const jpeg_component_info& c = cinfo.comp_info[i];
        frame.Components.push_back(
            {c.component_id, c.h_samp_factor, c.v_samp_factor, c.quant_tbl_no});
    }
    return frame;
}

JpegShrunkColour ShrunkColourFor(J_COLOR_SPACE stored, bool gray) {
    switch (stored) {
        case JCS_GRAYSCALE:
            return gray ? JpegShrunkColour::Gray : JpegShrunkColour::GrayToBgr;
        case JCS_RGB:
            return JpegShrunkColour::RgbToBgr;
        case JCS_CMYK:
            return JpegShrunkColour::Cmyk;
        case JCS_YCCK:
            return JpegShrunkColour::YcckToCmyk;
        default:
            return JpegShrunkColour::YccToBgr;
    }
}

}  // namespace

PictureResult<JpegHeader> ReadJpegHeader(const JpegSource& source) {
    JpegSession session(source);
    if (!session.Start()) return session.Failure();
    const jpeg_decompress_struct& cinfo = session.Info();
    if (auto failure = CheckColourSpace(cinfo)) return *failure;
    JpegHeader header;
    header.Width = static_cast<int>(cinfo.image_width);
    header.Height = static_cast<int>(cinfo.image_height);
    header.Orientation = FirstExifOrientation(SavedSegments(cinfo, kExifSegment));
    return header;
}

namespace {

// A JPEG decoded at a DCT scale, handed out row by row straight from libjpeg.
class JpegRows final : public PictureRowSource {
  public:
    explicit JpegRows(const JpegSource& source) : m_source(source), m_session(source) {}

    std::optional<PictureFailure> Start(int scaleDenominator, JpegShrinkNeed need) {
        if (!m_session.Start()) return m_session.Failure();
        jpeg_decompress_struct& cinfo = m_session.Info();
        if (auto failure = CheckColourSpace(cinfo)) return failure;
        if (auto failure = CheckPictureSize(cinfo.image_width, cinfo.image_height)) return failure;
        m_cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
        m_inverted = cinfo.saw_Adobe_marker;
        const PixelLayout layout =
            m_cmyk ? (m_inverted ? PixelLayout::InvertedCmyk : PixelLayout::Cmyk)
            : cinfo.jpeg_color_space == JCS_GRAYSCALE ? PixelLayout::Gray
                                                      : PixelLayout::Bgr;
        m_colour = ColourOf(cinfo, layout);
        // A gray profile converts the one channel libjpeg would otherwise copy into three.
        m_gray = m_colour && layout == PixelLayout::Gray;
        cinfo.out_color_space = m_cmyk ? JCS_CMYK : m_gray ? JCS_GRAYSCALE : JCS_EXT_BGR;
        const JpegReader reader = ChooseJpegReader(FrameOf(cinfo), scaleDenominator, need);
        if (reader != JpegReader::Libjpeg) {
            const JpegShrunkColour colour = ShrunkColourFor(cinfo.jpeg_color_space, m_gray);
            if (IsSequential(reader)) {
                auto shrunk = OpenSequentialShrunk(m_source, ScaleOf(reader), colour);
                if (!shrunk.Ok()) return shrunk.Failure();
                m_shrunk = std::move(shrunk.Value());
            } else if (reader == JpegReader::ProgressiveFullSize) {
                auto bands = OpenProgressiveFullSize(m_source, FrameOf(cinfo), colour);
                if (!bands.Ok()) return bands.Failure();
                m_shrunk = std::move(bands.Value());
            } else {
                auto shrunk = ReadProgressiveShrunk(m_source, ScaleOf(reader));
                if (!shrunk.Ok()) return shrunk.Failure();
                m_shrunk = std::make_unique<JpegShrunkRows>(std::move(shrunk.Value()), colour);
            }
            m_width = m_shrunk->Width();
            m_height = m_shrunk->Height();
            if (auto failure = CheckBufferSize(m_width, m_height, 3)) return failure;
            if (m_cmyk || m_gray) {
                m_inRow.resize(static_cast<std::size_t>(m_width) * (m_cmyk ? 4 : 1));
            }
            return std::nullopt;
        }
        // Asked before libjpeg sets aside its buffers for the picture, through a window of its own.
        JpegWindow walked(m_source);
        if (auto refused = CheckScanWork(walked)) return refused;
        m_session.CountScans(FrameOf(cinfo));
        cinfo.scale_num = 1;
        cinfo.scale_denom = static_cast<unsigned>(scaleDenominator);
        // The accurate integer DCT: at quality 90 the fast one visibly bands smooth skies, and
        // the scaled DCTs run just as fast with it.
        cinfo.dct_method = JDCT_ISLOW;
        if (!m_session.Guard([&cinfo] { jpeg_calc_output_dimensions(&cinfo); })) {
            return m_session.Failure();
        }
        m_width = static_cast<int>(cinfo.output_width);
        m_height = static_cast<int>(cinfo.output_height);
        if (auto failure = CheckBufferSize(m_width, m_height, 3)) return failure;
        if (m_cmyk || m_gray) m_inRow.resize(static_cast<std::size_t>(m_width) * (m_cmyk ? 4 : 1));
        // A progressive file is read whole here, into libjpeg's coefficient buffers.
        if (!m_session.Guard([&cinfo] { jpeg_start_decompress(&cinfo); })) {
            return m_session.Failure();
        }
        return std::nullopt;
    }

    int Width() const override { return m_width; }
    int Height() const override { return m_height; }

    bool ReadRow(std::uint8_t* row) override {
        if (m_failure) return false;
        jpeg_decompress_struct& cinfo = m_session.Info();
        if (m_shrunk ? m_shrunkRow >= m_height : cinfo.output_scanline >= cinfo.output_height) {
            m_failure =
                PictureFailure{ErrorNumber::InvalidPicture, "is damaged (rows are missing)"};
            return false;
        }
        JSAMPROW target = m_cmyk || m_gray ? m_inRow.data() : row;
        JDIMENSION got = 0;
        if (m_shrunk) {
            if (!m_shrunk->Row(m_shrunkRow++, target)) {
                m_failure = m_shrunk->Failure();
                return false;
            }
            got = 1;
        } else if (!m_session.Guard([&] { got = jpeg_read_scanlines(&cinfo, &target, 1); })) {
            m_failure = m_session.Failure();
            return false;
        }
        if (got != 1) {
            m_failure =
                PictureFailure{ErrorNumber::InvalidPicture, "is damaged (rows are missing)"};
            return false;
        }
        if (m_colour) {
            m_colour->ToBgr(m_cmyk || m_gray ? m_inRow.data() : row, row, m_width);
        } else if (m_cmyk) {
            CmykRowToBgr(m_inRow.data(), row, m_width, m_inverted);
        }
        return true;
    }

    PictureFailure Failure() const override {
        return m_failure.value_or(
            PictureFailure{ErrorNumber::InvalidPicture, "is damaged (rows are missing)"});
    }

  private:
    JpegSource m_source;
    JpegSession m_session;
    std::unique_ptr<JpegShrunkRows> m_shrunk;  // the picture from our own readers, without libjpeg
    int m_shrunkRow = 0;
    bool m_cmyk = false;
    bool m_inverted = false;
    bool m_gray = false;  // decoded as one channel, for the colour transform to widen
    std::shared_ptr<const ColourTransform> m_colour;  // null: the pixels are taken as sRGB
    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint8_t> m_inRow;  // CMYK or gray pixels before their conversion
    std::optional<PictureFailure> m_failure;
};

}  // namespace

PictureResult<std::unique_ptr<PictureRowSource>> OpenJpegRows(const JpegSource& source,
                                                              int scaleDenominator,
                                                              JpegShrinkNeed need) {
    auto rows = std::make_unique<JpegRows>(source);
    if (auto failure = rows->Start(scaleDenominator, need)) return *failure;
    return std::unique_ptr<PictureRowSource>(std::move(rows));
}

PictureResult<BgrImage> DecodeJpeg(const JpegSource& source, int scaleDenominator,
                                   JpegShrinkNeed need) {
    auto opened = OpenJpegRows(source, scaleDenominator, need);
    if (!opened.Ok()) return opened.Failure();
    PictureRowSource& rows = *opened.Value();
    auto picture = AllocatePicture(rows.Width(), rows.Height());
    if (!picture.Ok()) return picture;
    BgrView out = picture.Value().View();
    // The rest of the file is not read once every row is out: trailing bytes after the last
    // scan cannot change the picture.
    for (int y = 0; y < out.Height; ++y) {
        if (!rows.ReadRow(out.Row(y))) return rows.Failure();
    }
    return picture;
}

}  // namespace quillane
