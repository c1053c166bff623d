#pragma once

#include <QString>

#include <memory>

/**
 * The texts a column or a row rarely carries (name, data type, tag). Nothing is allocated until one
 * of them is set to a non-empty text, so a plain column or row costs a pointer for them; copies are
 * deep (the copy gets its own texts).
 */
class TQXRareTexts
{
public:
    TQXRareTexts() = default;
    TQXRareTexts(const TQXRareTexts& other) : m_texts(other.m_texts ? new Texts(*other.m_texts) : nullptr) {}
    TQXRareTexts(TQXRareTexts&&) noexcept = default;
    TQXRareTexts& operator=(const TQXRareTexts& other)
    {
        if (this != &other)
            m_texts.reset(other.m_texts ? new Texts(*other.m_texts) : nullptr);
        return *this;
    }
    TQXRareTexts& operator=(TQXRareTexts&&) noexcept = default;
    ~TQXRareTexts() = default;

    const QString& Name() const { return m_texts ? m_texts->name : Empty(); }
    void SetName(const QString& v) { Set(&Texts::name, v); }
    const QString& DataType() const { return m_texts ? m_texts->dataType : Empty(); }
    void SetDataType(const QString& v) { Set(&Texts::dataType, v); }
    const QString& Tag() const { return m_texts ? m_texts->tag : Empty(); }
    void SetTag(const QString& v) { Set(&Texts::tag, v); }

private:
    struct Texts
    {
        QString name;
        QString dataType;
        QString tag;
    };
    static const QString& Empty()
    {
        static const QString empty;
        return empty;
    }
    void Set(QString Texts::*field, const QString& v)
    {
        if (!m_texts) {
            if (v.isEmpty())
                return;
            m_texts.reset(new Texts);
        }
        (*m_texts).*field = v;
    }

    std::unique_ptr<Texts> m_texts;
};
