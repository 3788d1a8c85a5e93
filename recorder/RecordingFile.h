#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>

struct AVIOContext;

// A file this program creates and writes through libavformat. It is created
// exclusively, so an existing file is never overwritten, and only the file it
// created is ever removed. While it is open it holds an exclusive advisory
// lock (flock), which tells other instances that the file is being written.
// The first failure is kept, with its reason.
class RecordingFile {
public:
    RecordingFile() = default;
    // Closes without removing.
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    // False when the path exists or cannot be created; Error() says why.
    bool Create(const std::string& strPath);
    // The output for libavformat (seekable); null unless created.
    AVIOContext* Io() const { return m_pIo; }
    int Descriptor() const { return m_nFd; }

    // Empty while all is well, else the reason of the first failure. Any thread.
    std::string Error() const;
    // Keeps strReason unless a failure is kept already.
    void Fail(const std::string& strReason);

    // Writes out what is buffered and waits until it is on the disk.
    bool Sync();
    // Writes out what is buffered and closes; false when anything failed.
    // Safe to call twice.
    bool Close();
    // Closes and deletes the file, if its path still names the file created here.
    void Remove();

private:
    static int OnWrite(void* pOpaque, uint8_t* pData, int nSize);
    static int64_t OnSeek(void* pOpaque, int64_t nOffset, int nWhence);
    int FailWithErrno();

    std::string m_strPath;
    int m_nFd = -1;
    dev_t m_nDevice = 0; // what m_strPath named when it was created
    ino_t m_nInode = 0;
    AVIOContext* m_pIo = nullptr;
    mutable std::mutex m_errorMutex;
    std::string m_strError;
};
