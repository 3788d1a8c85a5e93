#include "recorder/RecordingFile.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {
constexpr int kBufferBytes = 32768;

std::string ErrnoText(int nErrno) {
    return std::generic_category().message(nErrno);
}
} // namespace

RecordingFile::~RecordingFile() {
    Close();
}

bool RecordingFile::Create(const std::string& strPath) {
    Close();
    m_strPath.clear();
    {
        std::lock_guard<std::mutex> lock(m_errorMutex);
        m_strError.clear();
    }
    m_nFd = open(strPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (m_nFd < 0) {
        Fail(ErrnoText(errno));
        return false;
    }
    m_strPath = strPath;
    struct stat info {};
    fstat(m_nFd, &info);
    m_nDevice = info.st_dev;
    m_nInode = info.st_ino;
    // Advisory only: a file system without locks still records, and the
    // file is new, so nobody else can hold the lock yet.
    flock(m_nFd, LOCK_EX | LOCK_NB);

    auto* pBuffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
    m_pIo = pBuffer != nullptr ? avio_alloc_context(pBuffer, kBufferBytes, 1, this, nullptr,
                                                    &RecordingFile::OnWrite, &RecordingFile::OnSeek)
                               : nullptr;
    if (m_pIo == nullptr) {
        av_free(pBuffer);
        Fail(ErrnoText(ENOMEM));
        Remove();
        return false;
    }
    return true;
}

std::string RecordingFile::Error() const {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    return m_strError;
}

void RecordingFile::Fail(const std::string& strReason) {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    if (m_strError.empty()) {
        m_strError = strReason.empty() ? "write error" : strReason;
    }
}

int RecordingFile::FailWithErrno() {
    const int nErrno = errno;
    Fail(ErrnoText(nErrno));
    return AVERROR(nErrno);
}

int RecordingFile::OnWrite(void* pOpaque, uint8_t* pData, int nSize) {
    auto* pSelf = static_cast<RecordingFile*>(pOpaque);
    for (int nDone = 0; nDone < nSize;) {
        const ssize_t nWritten = write(pSelf->m_nFd, pData + nDone, nSize - nDone);
        if (nWritten < 0 && errno == EINTR) {
            continue;
        }
        if (nWritten <= 0) {
            if (nWritten == 0) {
                errno = EIO;
            }
            return pSelf->FailWithErrno();
        }
        nDone += static_cast<int>(nWritten);
    }
    return nSize;
}

int64_t RecordingFile::OnSeek(void* pOpaque, int64_t nOffset, int nWhence) {
    auto* pSelf = static_cast<RecordingFile*>(pOpaque);
    if (nWhence == AVSEEK_SIZE) {
        struct stat info {};
        return fstat(pSelf->m_nFd, &info) == 0 ? info.st_size : AVERROR(errno);
    }
    const off_t nAt = lseek(pSelf->m_nFd, nOffset, nWhence & ~AVSEEK_FORCE);
    return nAt >= 0 ? nAt : AVERROR(errno);
}

bool RecordingFile::Sync() {
    if (m_pIo == nullptr) {
        return false;
    }
    avio_flush(m_pIo);
    if (m_pIo->error == 0 && fdatasync(m_nFd) != 0) {
        FailWithErrno();
    }
    return Error().empty();
}

bool RecordingFile::Close() {
    if (m_pIo != nullptr) {
        avio_flush(m_pIo);
        av_freep(&m_pIo->buffer);
        avio_context_free(&m_pIo);
    }
    if (m_nFd >= 0) {
        // Closing also lets go of the lock.
        if (close(m_nFd) != 0) {
            FailWithErrno();
        }
        m_nFd = -1;
    }
    return Error().empty();
}

void RecordingFile::Remove() {
    Close();
    struct stat info {};
    if (!m_strPath.empty() && stat(m_strPath.c_str(), &info) == 0 && info.st_dev == m_nDevice &&
        info.st_ino == m_nInode) {
        unlink(m_strPath.c_str());
    }
    m_strPath.clear();
}
