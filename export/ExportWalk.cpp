#include "export/ExportWalk.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

#include "base/Log.h"
#include "core/Ani.h"
#include "core/FrameCodec.h"
#include "core/ImageConvert.h"
#include "elements/ElementList.h"
#include "export/ElementBurn.h"

namespace zov {

bool SameExportKey(const std::string& a, const char* key) {
    const size_t n = std::strlen(key);
    if (a.size() != n)
        return false;
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    for (size_t i = 0; i < n; ++i)
        if (upper(a[i]) != upper(key[i]))
            return false;
    return true;
}

ExportOptions DefaultExportOptions(const CAni& ani, const std::string& formatKey) {
    ExportOptions o;
    o.right = ani.ImageWidth();
    o.bottom = ani.ImageHeight();
    o.first = 0;
    o.last = ani.FrameCount() - 1;
    o.formatKey = formatKey;
    return o;
}

ExportWalkRequest ExportWalkRequest::FromOptions(const ExportOptions& options, int32_t width,
                                                 int32_t height) {
    ExportWalkRequest r;
    r.first = options.first;
    r.last = options.last;
    r.useArea = options.HasArea(width, height);
    r.left = options.left;
    r.top = options.top;
    r.right = options.right;
    r.bottom = options.bottom;
    return r;
}

bool ExportWalk::Prepare(CAni& ani, const ExportWalkRequest& request, std::string& error) {
    m_ani = nullptr;
    if (ani.DocMode() == DOC_STREAM) {
        ZOV_LOG("E: Fail");
        error = "the document records straight into a stream file and has no project frames";
        return false;
    }
    if (ani.DocMode() != DOC_PROJECT || !ani.IsFileOpen()) {
        error = "no project is open";
        return false;
    }
    const int32_t count = ani.FrameCount();
    if (count <= 0) {
        error = "the project has no frames";
        return false;
    }
    const int32_t first = request.first < 0 ? 0 : request.first;
    const int32_t last = request.last < 0 ? count - 1 : request.last;
    if (first > last || first >= count || last >= count) {
        error = "frames " + std::to_string(first) + " to " + std::to_string(last) +
                " are not within the project's " + std::to_string(count) + " frames";
        return false;
    }
    const int32_t frameW = ani.ImageWidth(), frameH = ani.ImageHeight();
    if (frameW <= 0 || frameH <= 0 ||
        static_cast<int64_t>(Image24::RowBytes(frameW)) * frameH != ani.ImageSize() ||
        ani.ImageSize() > kMaxImageBytes) {
        error = "the project's frame geometry is not a 24-bit picture";
        return false;
    }
    int32_t width = frameW, height = frameH;
    if (request.useArea) {
        if (!(0 <= request.left && request.left < request.right && request.right <= frameW &&
              0 <= request.top && request.top < request.bottom && request.bottom <= frameH)) {
            error = "the area " + std::to_string(request.left) + "," + std::to_string(request.top) + "," +
                    std::to_string(request.right) + "," + std::to_string(request.bottom) +
                    " does not lie within the " + std::to_string(frameW) + " x " + std::to_string(frameH) +
                    " frame";
            return false;
        }
        width = request.right - request.left;
        height = request.bottom - request.top;
    }
    // Decoding starts at the whole frame at or before the first one exported.
    const std::vector<FrameEntry> table = ani.FrameTableCopy();
    if (table.size() < static_cast<size_t>(count)) {
        error = "the project's frame table is shorter than its frame count";
        return false;
    }
    int32_t key = first;
    while (key >= 0 && table[static_cast<size_t>(key)].kind != FRAME_KEY)
        --key;
    if (key < 0) {
        ZOV_LOG("decode frame fail!");
        error = "frame " + std::to_string(first) + " has no whole frame before it to decode from";
        return false;
    }
    m_ani = &ani;
    m_request = request;
    m_first = first;
    m_last = last;
    m_key = key;
    m_frameW = frameW;
    m_frameH = frameH;
    m_width = width;
    m_height = height;
    m_info = ani.BitmapInfo();
    m_info.biWidth = width;
    m_info.biHeight = height;
    m_info.biSizeImage = static_cast<uint32_t>(Image24::RowBytes(width) * height);
    return true;
}

BitmapInfoHeader ExportWalk::OutputInfo() const {
    return m_info;
}

WalkResult ExportWalk::Run(const FrameCallback& perFrame, std::string& error) {
    if (!m_ani) {
        error = "the export was not prepared";
        return WalkResult::Failed;
    }
    CAni& ani = *m_ani;
    const int32_t size = ani.ImageSize();
    // The running picture is the reference for the next difference frame; the exported one
    // is a copy with the elements drawn in and the area cut out.
    std::vector<uint8_t> running, data;
    Image24 out;
    std::vector<uint32_t> rgb;
    try {
        running.assign(static_cast<size_t>(size), 0);
        out.Allocate(m_frameW, m_frameH);
        if (m_request.pixels == ExportPixels::Rgb32TopDown)
            rgb.resize(static_cast<size_t>(m_width) * static_cast<size_t>(m_height));
    } catch (const std::bad_alloc&) {
        ZOV_LOG("alloc memory fail!");
        error = "not enough memory for the export's frame buffers";
        return WalkResult::Failed;
    }
    auto header = std::make_unique<FrameHeader>();
    const std::vector<FrameEntry> table = ani.FrameTableCopy();
    // The elements as they are when the export starts: edits made meanwhile do not reach it.
    const std::vector<ElementRecord> elements = TakeElementSnapshot(ani);
    const int32_t total = Count();
    for (int32_t i = m_key; i <= m_last; ++i) {
        if (m_request.cancel && m_request.cancel->load())
            return WalkResult::Cancelled;
        if (static_cast<size_t>(i) >= table.size() || !ani.ReadFrameRecord(i, *header, data)) {
            ZOV_LOG(("read file fail, id: " + std::to_string(i)).c_str());
            error = "frame " + std::to_string(i) + " of the project cannot be read";
            return WalkResult::Failed;
        }
        const int32_t kind = table[static_cast<size_t>(i)].kind;
        const bool decoded = kind == FRAME_KEY ? DecodeKeyFrame(*header, data.data(), size, running.data())
                             : kind == FRAME_DIFF
                                 ? DecodeDiffFrame(*header, running.data(), data.data(), size, running.data())
                                 : false;
        if (!decoded) {
            ZOV_LOG("decode frame fail!");
            error = "frame " + std::to_string(i) + " of the project cannot be decoded";
            return WalkResult::Failed;
        }
        if (i < m_first)
            continue;
        out.width = m_frameW;
        out.height = m_frameH;
        std::memcpy(out.bits.data(), running.data(), static_cast<size_t>(size));
        MergeFrameElements(ani, i, out, elements);
        if (m_request.useArea) {
            if (!CropImage(out.bits.data(), m_frameW, m_frameH, m_request.left, m_request.top,
                           m_request.right, m_request.bottom)) {
                error = "the area cannot be cut out of frame " + std::to_string(i);
                return WalkResult::Failed;
            }
            out.width = m_width;
            out.height = m_height;
        }
        ExportFrame frame;
        frame.index = i;
        frame.sample = i - m_first;
        frame.header = header.get();
        // The picture handed over is exactly width x height; the buffer keeps its capacity.
        const size_t outBytes = static_cast<size_t>(out.RowBytes()) * static_cast<size_t>(out.height);
        Image24 view;
        view.width = out.width;
        view.height = out.height;
        view.bits.swap(out.bits);
        view.bits.resize(outBytes);
        if (!rgb.empty()) {
            for (int32_t y = 0; y < m_height; ++y) {
                uint32_t* row = rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(m_width);
                for (int32_t x = 0; x < m_width; ++x) {
                    const uint8_t* p = view.PixelTopDown(x, y);
                    row[x] = p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
                }
            }
            frame.rgb32 = rgb.data();
        }
        frame.dib = &view;
        const bool ok = perFrame(frame, error);
        view.bits.resize(static_cast<size_t>(size));
        out.bits.swap(view.bits);
        if (!ok) {
            if (error.empty())
                error = "frame " + std::to_string(i) + " could not be written";
            return WalkResult::Failed;
        }
        if (m_request.progress)
            m_request.progress(i - m_first + 1, total);
        std::this_thread::yield();
    }
    return WalkResult::Done;
}

} // namespace zov
