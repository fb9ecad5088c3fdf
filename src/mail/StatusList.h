#pragma once

#include <QString>
#include <QStringList>

namespace mail {

// The status list lstLog as the logic sees it; the window's list box implements it.
class IStatusList {
public:
    virtual ~IStatusList() = default;
    virtual int LineCount() const = 0;
    virtual QString Line(int index) const = 0;
    virtual void InsertLine(int index, const QString& text) = 0;
    virtual void ReplaceLine(int index, const QString& text) = 0;
    virtual void RemoveLine(int index) = 0;
    virtual void Clear() = 0;
};

// A status list in memory, for logic without a window.
class MemoryStatusList final : public IStatusList {
public:
    int LineCount() const override { return static_cast<int>(m_lines.size()); }
    QString Line(int index) const override { return m_lines.value(index); }
    void InsertLine(int index, const QString& text) override { m_lines.insert(index, text); }
    void ReplaceLine(int index, const QString& text) override { m_lines[index] = text; }
    void RemoveLine(int index) override { m_lines.removeAt(index); }
    void Clear() override { m_lines.clear(); }
    const QStringList& Lines() const { return m_lines; }

private:
    QStringList m_lines;
};

} // namespace mail
