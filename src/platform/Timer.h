#pragma once

#include <QObject>
#include <QTimer>

namespace platform {

// A timer delivering its ticks on the user-interface thread. Single-shot or periodic.
class ITimer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void Start(int intervalMs, bool singleShot) = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;

Q_SIGNALS:
    void timeout();
};

class QtTimer final : public ITimer {
    Q_OBJECT
public:
    explicit QtTimer(QObject* parent = nullptr);
    void Start(int intervalMs, bool singleShot) override;
    void Stop() override;
    bool IsActive() const override;

private:
    QTimer m_timer;
};

} // namespace platform
