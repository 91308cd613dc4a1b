// The numeric fields of the Common, Servo, Mode1 and Mode2 pages: one table of every field
// with its range, the form of its range check and its messages, and the page class that all
// four share. A field is an edit box bound to one GyroParameters member; the page remembers
// the value it last accepted for it (the committed value) and which control the four step
// buttons act on (the step target). The pages differ only in their data: fields, step targets,
// step buttons and two rules.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/gyro_params.h"
#include "platform/ui/ui.h"

// How leaving a field checks its value.
enum class RangeCheckForm {
    // Below the minimum: lower message, committed value back; then above the maximum (also a
    // committed value that was already above it): upper message, committed value back.
    TWO_STAGE,
    // Below: lower message, above: upper message; either way the committed value comes back.
    ONE_STAGE,
};

struct NumericField {
    int nPage;  // template of the page that shows the field
    int nEditId;
    const wchar_t* pszCaption;  // the field's label on its page
    int32_t GyroParameters::*pValue;
    int32_t nMin;  // both ends are allowed values
    int32_t nMax;
    RangeCheckForm form;
    const wchar_t* pszBelowMin;
    const wchar_t* pszAboveMax;
    const wchar_t* pszPercentOf = nullptr;  // what the percentage is of, when the page says
};

// Every numeric field, page by page in tab order, each page's fields in the order they are
// read back. The command-line companion checks the same ranges.
extern const std::array<NumericField, 9> NUMERIC_FIELDS;

// The fields of one page, in the order they are read back.
std::span<const NumericField> NumericFieldsOfPage(int nPage);
// The field bound to a GyroParameters member; null when the member is not a numeric field.
const NumericField* NumericFieldFor(int32_t GyroParameters::*pValue);
// The field's unit and range as its page tells them ("Percent of servo travel, 30 to 145"):
// the unit is the one its range messages give the minimum ("30%"), none when they give none.
std::wstring RangeDescription(const NumericField& field);

constexpr std::array<int, 4> STEP_DELTAS = {+10, +1, -1, -10};

// What one page does differently with the same mechanics.
struct NumericPageRules {
    std::array<int, 4> stepButtons;  // ids of "+10", "+1", "-1", "-10"
    // The control each step target number names (a field's edit, a button, a list or a
    // trackbar), 0 for none; a step target outside them becomes 0 at the next step.
    std::span<const int> stepTargets;
    // A step that had to clamp still makes the value the committed one (false: the committed
    // value stays what it was before the step).
    bool bCommitClampedStep;
    // A step selects the field's whole text (false: it only moves the focus).
    bool bSelectOnStep;
};

class CNumericFieldPage : public platform::ui::CPropertyPage {
  public:
    CNumericFieldPage(int nTemplateId, const NumericPageRules& rules);

    // The number of the control the step buttons act on.
    int m_nStepTarget = 0;
    // The value last accepted for each field, in field order.
    std::vector<int32_t> m_committedValues;

    std::span<const NumericField> Fields() const { return m_fields; }

    // Describes each field's unit and range on its edit box.
    bool OnInitDialog() override;
    void DoDataExchange(platform::ui::CDataExchange* pDX) override;
    // Step buttons, and a field that gets or loses the focus.
    void OnCommand(int nId, int nCode) override;
    bool OnSetActive() override;
    bool OnKillActive() override;

    // Takes the texts into the record in field order; the first text that is not a number
    // shows "Please enter an integer.", takes the focus back and stops the reading.
    bool ReadFields();
    // Writes every field's value into its edit box.
    void ShowFields();
    void Step(int nDelta, bool bReadFirst);
    void CheckRange(const NumericField& field);

  protected:
    // Puts the page's other controls into the state the record holds; the first thing a page
    // does when it becomes active.
    virtual void ShowOtherControls() {}
    GyroParameters& Parameters();

  private:
    const NumericField* FieldOfEdit(int nId) const;
    int32_t& Committed(const NumericField& field);

    NumericPageRules m_rules;
    std::span<const NumericField> m_fields;
    bool m_bCheckingRange = false;
};
