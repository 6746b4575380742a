#include "MovieEditList.h"

#include <cstring>
#include <optional>
#include <vector>

namespace tavlin::media
{

namespace
{
using Bytes = std::vector<uint8_t>;

uint32_t read32 (const Bytes& b, size_t at)
{
    return ((uint32_t) b[at] << 24) | ((uint32_t) b[at + 1] << 16) | ((uint32_t) b[at + 2] << 8) | b[at + 3];
}

uint64_t read64 (const Bytes& b, size_t at)
{
    return ((uint64_t) read32 (b, at) << 32) | read32 (b, at + 4);
}

void write32 (Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + (size_t) i] = (uint8_t) (v >> (24 - 8 * i));
}

void append32 (Bytes& b, uint32_t v)
{
    b.resize (b.size() + 4);
    write32 (b, b.size() - 4, v);
}

void append64 (Bytes& b, uint64_t v)
{
    append32 (b, (uint32_t) (v >> 32));
    append32 (b, (uint32_t) v);
}

/** A box inside a buffer: where its header starts and how long it is, header included. */
struct Box
{
    size_t at = 0, size = 0;
    size_t body() const { return at + 8; }
};

/** The children of a box (or of the whole buffer) of a type, in order; boxes with 64-bit sizes are not
    expected inside a movie box.
*/
std::vector<Box> childrenOf (const Bytes& b, size_t from, size_t to, const char* type)
{
    std::vector<Box> found;

    while (from + 8 <= to)
    {
        const auto size = (size_t) read32 (b, from);

        if (size < 8 || from + size > to)
            break;

        if (std::memcmp (&b[from + 4], type, 4) == 0)
            found.push_back ({ from, size });

        from += size;
    }

    return found;
}

std::optional<Box> childOf (const Bytes& b, const Box& parent, const char* type)
{
    const auto all = childrenOf (b, parent.body(), parent.at + parent.size, type);
    return all.empty() ? std::nullopt : std::optional<Box> (all.front());
}

/** The timescale of a movie or media header box. */
uint32_t timescaleOf (const Bytes& b, const Box& header)
{
    return read32 (b, header.body() + (b[header.body()] == 1 ? 20 : 12));
}

struct Edit
{
    int64_t duration = 0; // movie timescale
    int64_t mediaTime = -1; // media timescale; -1 for an empty edit
};

/** Where the movie box lies in the file; true only when it is the last box (so that it can grow). */
bool findMovieBox (juce::FileInputStream& in, int64_t& at, int64_t& size)
{
    const auto length = in.getTotalLength();
    int64_t position = 0;
    at = -1;

    while (position + 8 <= length)
    {
        uint8_t header[16];
        in.setPosition (position);

        if (in.read (header, 8) != 8)
            return false;

        int64_t boxSize = (int64_t) (((uint32_t) header[0] << 24) | ((uint32_t) header[1] << 16)
                                     | ((uint32_t) header[2] << 8) | header[3]);

        if (boxSize == 1)
        {
            if (in.read (header + 8, 8) != 8)
                return false;

            boxSize = 0;

            for (int i = 8; i < 16; ++i)
                boxSize = (boxSize << 8) | header[i];
        }
        else if (boxSize == 0)
        {
            boxSize = length - position;
        }

        if (boxSize < 8 || position + boxSize > length)
            return false;

        if (std::memcmp (header + 4, "moov", 4) == 0 && at < 0)
        {
            at = position;
            size = boxSize;
        }

        position += boxSize;
    }

    return at >= 0 && at + size == length;
}

/** Reads the movie box; it may stand anywhere when only read. */
bool readMovieBox (const juce::File& file, bool mustBeLast, int64_t& at, Bytes& moov)
{
    juce::FileInputStream in (file);
    int64_t size = 0;

    if (!in.openedOk())
        return false;

    const bool last = findMovieBox (in, at, size);

    if (at < 0 || (mustBeLast && !last) || size > (int64_t) 1 << 31)
        return false;

    moov.resize ((size_t) size);
    in.setPosition (at);
    return in.read (moov.data(), (int) size) == (int) size && read32 (moov, 0) == (uint32_t) size;
}

/** A track's edits, with the movie's and the media's timescales. */
bool readEdits (const Bytes& moov, int trackIndex, std::vector<Edit>& edits, uint32_t& movieScale, uint32_t& mediaScale,
                std::optional<Box>& trakBox, std::optional<Box>& edtsBox, std::optional<Box>& elstBox)
{
    const Box movie { 0, moov.size() };
    const auto header = childOf (moov, movie, "mvhd");
    const auto tracks = childrenOf (moov, movie.body(), moov.size(), "trak");

    if (!header || trackIndex < 0 || trackIndex >= (int) tracks.size())
        return false;

    trakBox = tracks[(size_t) trackIndex];
    edtsBox = childOf (moov, *trakBox, "edts");
    const auto mdia = childOf (moov, *trakBox, "mdia");
    const auto mdhd = mdia ? childOf (moov, *mdia, "mdhd") : std::nullopt;
    elstBox = edtsBox ? childOf (moov, *edtsBox, "elst") : std::nullopt;

    if (!elstBox || !mdhd)
        return false;

    movieScale = timescaleOf (moov, *header);
    mediaScale = timescaleOf (moov, *mdhd);
    const bool wide = moov[elstBox->body()] == 1;
    const auto count = read32 (moov, elstBox->body() + 4);
    edits.clear();

    for (size_t i = 0, p = elstBox->body() + 8; i < count; ++i, p += wide ? 20 : 12)
    {
        if (p + (wide ? 20 : 12) > elstBox->at + elstBox->size)
            return false;

        edits.push_back (wide ? Edit { (int64_t) read64 (moov, p), (int64_t) read64 (moov, p + 8) }
                              : Edit { (int64_t) read32 (moov, p), (int64_t) (int32_t) read32 (moov, p + 4) });
    }

    return movieScale > 0 && mediaScale > 0;
}
} // namespace

bool MovieEditList::shownDuration (const juce::File& file, int trackIndex, int64_t& value, int64_t& timescale,
                                   bool& startsWithEmptyEdit)
{
    int64_t at = 0;
    Bytes moov;
    std::vector<Edit> edits;
    uint32_t movieScale = 0, mediaScale = 0;
    std::optional<Box> trak, edts, elst;

    if (!readMovieBox (file, false, at, moov)
        || !readEdits (moov, trackIndex, edits, movieScale, mediaScale, trak, edts, elst) || edits.empty())
        return false;

    value = 0;
    startsWithEmptyEdit = edits.front().mediaTime == -1;

    for (const auto& e : edits)
        if (e.mediaTime != -1)
            value += e.duration;

    timescale = movieScale;
    return true;
}

bool MovieEditList::hidePriming (const juce::File& file, int trackIndex, int64_t primingSamples, juce::String& error)
{
    if (primingSamples <= 0)
        return true;

    int64_t moovAt = 0;
    Bytes moov;

    if (!readMovieBox (file, true, moovAt, moov))
    {
        error = "The movie's index cannot be found at its end.";
        return false;
    }

    std::vector<Edit> edits;
    uint32_t movieScale = 0, mediaScale = 0;
    std::optional<Box> trak, edts, elst;

    if (!readEdits (moov, trackIndex, edits, movieScale, mediaScale, trak, edts, elst))
    {
        error = "The track has no edit list that can be read.";
        return false;
    }

    const Box movie { 0, moov.size() };

    // What the muxer writes: an optional empty edit, then one edit of the media.
    const bool leadingEmpty = edits.size() == 2 && edits[0].mediaTime == -1;

    if (edits.empty() || edits.size() > 2 || (edits.size() == 2 && !leadingEmpty) || edits.back().mediaTime < 0)
    {
        error = "The track's edits are not of a kind that can be mended.";
        return false;
    }

    const auto empty = leadingEmpty ? edits[0].duration : 0;
    const auto media = edits.back();

    if (media.mediaTime >= primingSamples)
        return true; // the priming is hidden already

    // The stretch of priming that the edit shows moves into the empty edit.
    const auto shown =
        (int64_t) (((__int128) (primingSamples - media.mediaTime) * movieScale + mediaScale / 2) / mediaScale);
    const Edit delay { empty + shown, -1 };
    const Edit sound { std::max<int64_t> (0, media.duration - shown), primingSamples };
    std::vector<Edit> mended;

    if (delay.duration > 0)
        mended.push_back (delay);

    mended.push_back (sound);

    bool needsWide = false;

    for (const auto& e : mended)
        needsWide = needsWide || e.duration > (int64_t) UINT32_MAX || e.mediaTime > (int64_t) INT32_MAX;

    Bytes list;
    append32 (list, 0);
    list.insert (list.end(), { 'e', 'l', 's', 't' });
    append32 (list, needsWide ? 0x01000000u : 0u);
    append32 (list, (uint32_t) mended.size());

    for (const auto& e : mended)
    {
        if (needsWide)
        {
            append64 (list, (uint64_t) e.duration);
            append64 (list, (uint64_t) e.mediaTime);
        }
        else
        {
            append32 (list, (uint32_t) e.duration);
            append32 (list, (uint32_t) (int32_t) e.mediaTime);
        }

        append32 (list, 0x00010000u); // rate 1.0
    }

    write32 (list, 0, (uint32_t) list.size());

    const auto grow = (int64_t) list.size() - (int64_t) elst->size;
    Bytes result (moov.begin(), moov.begin() + (std::ptrdiff_t) elst->at);
    result.insert (result.end(), list.begin(), list.end());
    result.insert (result.end(), moov.begin() + (std::ptrdiff_t) (elst->at + elst->size), moov.end());

    for (const Box& box : { movie, *trak, *edts })
        write32 (result, box.at, (uint32_t) ((int64_t) box.size + grow));

    // The whole file stays as it was up to its movie box, which is written anew in place.
    juce::FileOutputStream out (file);

    if (!out.openedOk() || !out.setPosition (moovAt) || out.truncate().failed()
        || !out.write (result.data(), result.size()))
    {
        error = "The movie's index could not be rewritten.";
        return false;
    }

    out.flush();

    if (out.getStatus().failed())
    {
        error = "The movie's index could not be rewritten.";
        return false;
    }

    return true;
}

} // namespace tavlin::media
