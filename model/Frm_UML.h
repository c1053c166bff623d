#pragma once

#include "TQXCols.h"

#include <QDialog>

#include <memory>

namespace Ui {
class Frm_UML;
}

/**
 * @brief The model conversion window: the user pastes a design-model text drawn for the sample
 * table and converts it in place into a template (QVNUMLConvert does the text work).
 */
class Frm_UML : public QDialog
{
public:
    explicit Frm_UML(QWidget* parent = nullptr);
    ~Frm_UML() override;

    static QString GetBeginEndData(const QString& text, const QString& pStr_Begin, const QString& pStr_End,
                                   int& pInt_Begin, int& pInt_End);
    /// Converts the text of Txt_File in place and reports completion (the Cmd_OK click).
    void Convert();
    /// The identifiers the last conversion found, keyed by themselves, in the order found.
    const TQXColsPtr& Identifiers() const { return m_identifiers; }

private:
    std::unique_ptr<Ui::Frm_UML> m_ui;
    TQXColsPtr m_identifiers;
};
