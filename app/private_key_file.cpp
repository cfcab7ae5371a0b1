#include "app/private_key_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>

#include "base/debug_log.h"

namespace {
constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;
constexpr mode_t kOthersBits = S_IRWXG | S_IRWXO;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, for the callers that must know whether closing worked.
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool readAll(int fd, QByteArray* bytes) {
    char chunk[4096];
    for (;;) {
        ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0) {
            return true;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        bytes->append(chunk, got);
    }
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* next = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        ssize_t put = ::write(fd, next, left);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        next += put;
        left -= put;
    }
    return true;
}

// Makes the rename itself durable, so a crash cannot bring the old file back.
void syncFolder(const QString& folder) {
    FileDescriptor fd(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) {
        ::fsync(fd.get());
    }
}

// What mkostemp makes of the key file's name: the name, a dot and six
// letters or digits.
bool isTemporaryOf(const QString& fileName, const QString& keyFileName) {
    if (fileName.size() != keyFileName.size() + 7 || !fileName.startsWith(keyFileName + '.')) {
        return false;
    }
    for (qsizetype i = keyFileName.size() + 1; i < fileName.size(); ++i) {
        if (!fileName[i].isLetterOrNumber() || fileName[i].unicode() > 127) {
            return false;
        }
    }
    return true;
}

QByteArray encode(const QMap<QString, QString>& keys) {
    QJsonObject object;
    for (auto entry = keys.cbegin(); entry != keys.cend(); ++entry) {
        object.insert(entry.key(), entry.value());
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
}  // namespace

PrivateKeyFile::PrivateKeyFile(QString path) : path_(std::move(path)) {}

QString PrivateKeyFile::find(const QString& server) const {
    QMap<QString, QString> keys;
    read(&keys);
    return keys.value(server);
}

bool PrivateKeyFile::store(const QString& server, const QString& key) {
    QMap<QString, QString> keys;
    Reading reading = read(&keys);
    if (reading == Reading::Refused) {
        return false;
    }
    if (reading == Reading::Garbled && !keepGarbledAside()) {
        return false;
    }
    if (key.isEmpty()) {
        if (!keys.contains(server)) {
            return true;
        }
        keys.remove(server);
    } else {
        keys.insert(server, key);
    }
    return write(keys);
}

// A file that another account owns could hand us keys of its choosing, so it
// is not read; one that others may read is made private again before it is
// read (what it held may have been seen: the log says so).
PrivateKeyFile::Reading PrivateKeyFile::read(QMap<QString, QString>* keys) const {
    QByteArray name = QFile::encodeName(path_);
    FileDescriptor fd(::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            return Reading::Missing;
        }
        debugLog("stream keys: %s cannot be opened: %s", name.constData(), std::strerror(errno));
        return Reading::Refused;
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != ::geteuid()) {
        debugLog("stream keys: %s is not a file of this account; not read", name.constData());
        return Reading::Refused;
    }
    if ((status.st_mode & kOthersBits) != 0) {
        debugLog("stream keys: %s was open to others (mode %03o); made private", name.constData(),
                 static_cast<unsigned>(status.st_mode & 0777));
        if (::fchmod(fd.get(), kOwnerOnly) != 0) {
            return Reading::Refused;
        }
    }
    QByteArray bytes;
    if (!readAll(fd.get(), &bytes)) {
        debugLog("stream keys: %s cannot be read: %s", name.constData(), std::strerror(errno));
        return Reading::Refused;
    }
    QJsonParseError problem{};
    QJsonDocument document = QJsonDocument::fromJson(bytes, &problem);
    if (!document.isObject()) {
        // The offset only: the text around it could be a key.
        debugLog("stream keys: %s is not a key list (at byte %d)", name.constData(),
                 static_cast<int>(problem.offset));
        return Reading::Garbled;
    }
    const QJsonObject object = document.object();
    for (auto entry = object.begin(); entry != object.end(); ++entry) {
        if (entry.value().isString()) {
            keys->insert(entry.key(), entry.value().toString());
        }
    }
    return Reading::Read;
}

// A file that is not a key list is kept beside, under a name of its own,
// rather than written over: it may still hold keys a person wants back.
bool PrivateKeyFile::keepGarbledAside() {
    QString aside = path_ + ".unreadable-" + QString::number(QDateTime::currentMSecsSinceEpoch());
    if (::rename(QFile::encodeName(path_).constData(), QFile::encodeName(aside).constData()) != 0) {
        debugLog("stream keys: an unreadable key file cannot be kept aside: %s",
                 std::strerror(errno));
        return false;
    }
    debugLog("stream keys: the unreadable key file is kept as %s", qPrintable(aside));
    return true;
}

bool PrivateKeyFile::write(const QMap<QString, QString>& keys) {
    if (!makeFolder()) {
        return false;
    }
    QByteArray name = QFile::encodeName(path_);
    QByteArray temporary = name + ".XXXXXX";
    // mkostemp opens with O_CREAT | O_EXCL and mode 0600: private from the
    // first byte, and never a file someone else put there.
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        debugLog("stream keys: no new key file beside %s: %s", name.constData(),
                 std::strerror(errno));
        return false;
    }
    bool written = writeAll(fd.get(), encode(keys)) && ::fsync(fd.get()) == 0;
    int writeError = errno;
    if (fd.close() && written && ::rename(temporary.constData(), name.constData()) == 0) {
        syncFolder(QFileInfo(path_).absolutePath());
        removeLeftTemporaries();
        return true;
    }
    debugLog("stream keys: %s not written, the old one stays: %s", name.constData(),
             std::strerror(written ? errno : writeError));
    ::unlink(temporary.constData());
    return false;
}

// A write cut off between making its temporary file and the rename (a kill,
// a power cut) leaves that file behind, with keys in it. Only one Lumora
// runs per person and keys are written from one thread, so once a write has
// gone through, any such file is left over.
void PrivateKeyFile::removeLeftTemporaries() const {
    QFileInfo keyFile(path_);
    const QStringList names = QDir(keyFile.absolutePath()).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        if (isTemporaryOf(name, keyFile.fileName())) {
            QByteArray path = QFile::encodeName(keyFile.absolutePath() + '/' + name);
            if (::unlink(path.constData()) == 0) {
                debugLog("stream keys: removed %s, left by a write that never ended",
                         path.constData());
            }
        }
    }
}

// A folder this makes is the owner's alone (0700); one that is already there
// keeps its mode, as the settings share it.
bool PrivateKeyFile::makeFolder() const {
    QString folder = QFileInfo(path_).absolutePath();
    if (QFileInfo(folder).isDir()) {
        return true;
    }
    QString parent = QFileInfo(folder).absolutePath();
    if (!QDir().mkpath(parent) ||
        (::mkdir(QFile::encodeName(folder).constData(), S_IRWXU) != 0 && errno != EEXIST)) {
        debugLog("stream keys: folder %s cannot be made: %s", qPrintable(folder),
                 std::strerror(errno));
        return false;
    }
    return true;
}
