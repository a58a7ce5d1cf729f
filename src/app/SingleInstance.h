#pragma once
// One running instance per user: a lock file named after the window pair "TFmain"/"Quorvel" in
// the user's runtime folder. A lock left by a run that crashed is recognised by its dead process.

#include <QLockFile>
#include <QString>

#include <memory>

namespace quorvel::app {

class SingleInstance {
public:
    explicit SingleInstance(const QString& runtimeFolder);
    // True when this process now holds the lock; false when another live instance does.
    bool acquire();
    QString lockPath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace quorvel::app
