#include "recorder/RecordingRepair.h"

#include "recorder/RecordingFile.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file ends a RIFF chain of at most a few parts (one per GB); more than
// this is not a recording, whatever its headers say.
constexpr int kMaxRiffParts = 4096;
constexpr uint32_t kSizeNotYetWritten = 0xFFFFFFFF;

struct Descriptor {
    int nFd;
    ~Descriptor() {
        if (nFd >= 0) {
            close(nFd);
        }
    }
};

// An AVI is a chain of RIFF parts ("AVI ", then "AVIX" beyond 1 GB), each
// opened with a size the writer fills in only once the part is complete: the
// last part's at the very end, after the index. An unfinished file therefore
// has a part whose size is still the placeholder or reaches beyond the end
// of the file, or a torn header of a further part.
bool IsUnfinishedChain(int nFd, int64_t nFileSize) {
    int64_t nAt = 0;
    for (int nPart = 0; nPart < kMaxRiffParts; ++nPart) {
        unsigned char header[12] = {};
        const ssize_t nRead = pread(nFd, header, sizeof(header), nAt);
        if (nRead < static_cast<ssize_t>(sizeof(header))) {
            return nPart > 0 && nRead > 0 &&
                   std::memcmp(header, "RIFF", std::min<size_t>(4, nRead)) == 0;
        }
        if (std::memcmp(header, "RIFF", 4) != 0 ||
            std::memcmp(header + 8, nPart == 0 ? "AVI " : "AVIX", 4) != 0) {
            return false;
        }
        const uint32_t nSize =
            header[4] | header[5] << 8 | header[6] << 16 | static_cast<uint32_t>(header[7]) << 24;
        if (nSize == kSizeNotYetWritten || nAt + 8 + nSize > nFileSize) {
            return true;
        }
        nAt += 8 + nSize + (nSize & 1);
        if (nAt >= nFileSize) {
            return false;
        }
    }
    return false;
}

struct InputFree {
    void operator()(AVFormatContext* pFormat) const { avformat_close_input(&pFormat); }
};
struct OutputFree {
    void operator()(AVFormatContext* pFormat) const { avformat_free_context(pFormat); }
};
struct PacketFree {
    void operator()(AVPacket* pPacket) const { av_packet_free(&pPacket); }
};

bool Stopped(const std::atomic<bool>* pStop) {
    return pStop != nullptr && pStop->load();
}

// Stream copy, as a player reads the file: without an index the demuxer
// walks the chunks one by one.
bool CopyPackets(const std::string& strInput, RecordingFile& output,
                 const std::atomic<bool>* pStop) {
    AVFormatContext* pOpened = nullptr;
    if (avformat_open_input(&pOpened, strInput.c_str(), nullptr, nullptr) < 0) {
        return false;
    }
    std::unique_ptr<AVFormatContext, InputFree> pInput(pOpened);
    AVFormatContext* pAllocated = nullptr;
    if (avformat_find_stream_info(pInput.get(), nullptr) < 0 || pInput->nb_streams == 0 ||
        avformat_alloc_output_context2(&pAllocated, nullptr, "avi", nullptr) < 0) {
        return false;
    }
    std::unique_ptr<AVFormatContext, OutputFree> pOutput(pAllocated);
    pOutput->pb = output.Io();
    pOutput->flags |= AVFMT_FLAG_CUSTOM_IO;
    av_dict_copy(&pOutput->metadata, pInput->metadata, 0);
    for (unsigned i = 0; i < pInput->nb_streams; ++i) {
        AVStream* pStream = avformat_new_stream(pOutput.get(), nullptr);
        if (pStream == nullptr ||
            avcodec_parameters_copy(pStream->codecpar, pInput->streams[i]->codecpar) < 0) {
            return false;
        }
        AVCodecParameters* pParams = pStream->codecpar;
        const AVRational timeBase = pInput->streams[i]->time_base;
        pParams->codec_tag = 0;
        // Compressed sound is counted in encoder frames (1024 / 48000 s) of
        // any byte size, but the reader passes on neither the frame size nor
        // that the byte size varies; without them the muxer would count the
        // sound in blocks of the byte size the format header gives.
        if (pParams->codec_type == AVMEDIA_TYPE_AUDIO &&
            av_get_bits_per_sample(pParams->codec_id) == 0) {
            if (pParams->frame_size == 0) {
                pParams->frame_size =
                    static_cast<int>(av_rescale(pParams->sample_rate, timeBase.num, timeBase.den));
            }
            pParams->block_align = 0;
        }
        pStream->time_base = timeBase;
    }
    if (avformat_write_header(pOutput.get(), nullptr) < 0) {
        return false;
    }
    std::unique_ptr<AVPacket, PacketFree> pPacket(av_packet_alloc());
    if (pPacket == nullptr) {
        return false;
    }
    // The file ends wherever the writer stopped, so any end of reading is
    // the end of the recording.
    while (!Stopped(pStop) && av_read_frame(pInput.get(), pPacket.get()) >= 0) {
        // The last chunk may be torn; a decoder would make garbage of it.
        const bool bWhole = (pPacket->flags & AV_PKT_FLAG_CORRUPT) == 0;
        const int nStream = pPacket->stream_index;
        // Some demuxers add streams while they read (DV inside an AVI adds its
        // sound streams as it finds them): the output has none for those.
        if (nStream < 0 || static_cast<unsigned>(nStream) >= pOutput->nb_streams) {
            av_packet_unref(pPacket.get());
            continue;
        }
        av_packet_rescale_ts(pPacket.get(), pInput->streams[nStream]->time_base,
                             pOutput->streams[nStream]->time_base);
        pPacket->pos = -1;
        // AVI stores no presentation times; the streams have no reordering.
        if (pPacket->pts == AV_NOPTS_VALUE) {
            pPacket->pts = pPacket->dts;
        }
        if (bWhole && av_interleaved_write_frame(pOutput.get(), pPacket.get()) < 0) {
            return false;
        }
        av_packet_unref(pPacket.get());
    }
    return !Stopped(pStop) && av_write_trailer(pOutput.get()) >= 0;
}

bool SameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino &&
           one.st_size == other.st_size && one.st_mtim.tv_sec == other.st_mtim.tv_sec &&
           one.st_mtim.tv_nsec == other.st_mtim.tv_nsec;
}

} // namespace

bool RecordingRepair::IsUnfinished(const std::string& strPath) {
    const Descriptor file{open(strPath.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat info {};
    return file.nFd >= 0 && fstat(file.nFd, &info) == 0 && S_ISREG(info.st_mode) &&
           IsUnfinishedChain(file.nFd, info.st_size);
}

bool RecordingRepair::Repair(const std::string& strPath, const std::atomic<bool>* pStop) {
    // A running recording holds the lock; so does a repair of the same file
    // by another instance starting up at the same moment.
    const Descriptor file{open(strPath.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat before {};
    if (file.nFd < 0 || flock(file.nFd, LOCK_EX | LOCK_NB) != 0 || fstat(file.nFd, &before) != 0 ||
        !S_ISREG(before.st_mode) || !IsUnfinishedChain(file.nFd, before.st_size)) {
        return false;
    }
    // Hidden and without the .avi ending, so that no folder scan takes it for
    // a recording.
    const std::filesystem::path path(strPath);
    const std::string strTemporary = (path.parent_path() / ("." + path.filename().string() +
                                                            ".repair-" + std::to_string(getpid())))
                                         .string();
    RecordingFile output;
    if (!output.Create(strTemporary)) {
        return false;
    }
    // A writer that does not lock (not this program) may have changed the
    // file meanwhile: then the copy is not what the file holds.
    struct stat after {};
    struct stat named {};
    // The repaired file keeps the time of the recording, not of the repair.
    const timespec times[2] = {before.st_atim, before.st_mtim};
    if (!CopyPackets(strPath, output, pStop) ||
        fchmod(output.Descriptor(), before.st_mode & 07777) != 0 || !output.Sync() ||
        futimens(output.Descriptor(), times) != 0 || !output.Close() ||
        fstat(file.nFd, &after) != 0 || stat(strPath.c_str(), &named) != 0 ||
        !SameFile(before, after) || !SameFile(before, named) ||
        rename(strTemporary.c_str(), strPath.c_str()) != 0) {
        output.Remove();
        return false;
    }
    return true;
}

int RecordingRepair::RepairFolder(const std::string& strFolder, const std::atomic<bool>* pStop) {
    int nRepaired = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(strFolder, error);
         !error && !Stopped(pStop) && entry != std::filesystem::directory_iterator();
         entry.increment(error)) {
        std::string strExtension = entry->path().extension().string();
        std::transform(strExtension.begin(), strExtension.end(), strExtension.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        if (strExtension == ".avi" && Repair(entry->path().string(), pStop)) {
            ++nRepaired;
        }
    }
    return nRepaired;
}
