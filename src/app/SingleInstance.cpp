#include "app/SingleInstance.h"

#include <QDir>
#include <QFileInfo>

namespace quorvel::app {

SingleInstance::SingleInstance(const QString& runtimeFolder)
    : m_path(QDir(runtimeFolder).filePath(QStringLiteral("TFmain-Quorvel.lock"))),
      m_lock(std::make_unique<QLockFile>(m_path))
{
    // The lock is held for the whole run, so age says nothing; only a dead owner makes it stale.
    m_lock->setStaleLockTime(0);
}

bool SingleInstance::acquire()
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    return m_lock->tryLock(0);
}

} // namespace quorvel::app
