#pragma once

// A small tmpfs for tests of a full disk. Tests run as root in CI, where mounting must work: a
// refused mount fails the test there and only skips it elsewhere.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <cerrno>
#include <cstring>

namespace quillet::test {

class TmpfsMount {
  public:
    // Mounts a tmpfs of `size` ("64k", "1m") on the folder path, which is made if missing.
    TmpfsMount(const QString& path, const QString& size) : where_(QFile::encodeName(path)) {
        QDir().mkpath(path);
        const QByteArray options = "size=" + size.toLatin1();
        mounted_ = ::mount("tmpfs", where_.constData(), "tmpfs", 0, options.constData()) == 0;
        if (!mounted_) error_ = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~TmpfsMount() {
        if (mounted_) ::umount2(where_.constData(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool Mounted() const { return mounted_; }
    const QString& Error() const { return error_; }

  private:
    QByteArray where_;
    bool mounted_ = false;
    QString error_;
};

}  // namespace quillet::test

// Use at the top of a test body after making the mount.
#define QUILLET_REQUIRE_MOUNT(m)                                                        \
    do {                                                                                \
        if (!(m).Mounted()) {                                                           \
            if (qEnvironmentVariableIsSet("CI"))                                        \
                FAIL() << "cannot mount a tmpfs in CI: " << (m).Error().toStdString();  \
            GTEST_SKIP() << "cannot mount a tmpfs here: " << (m).Error().toStdString(); \
        }                                                                               \
    } while (false)
