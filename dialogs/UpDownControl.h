#pragma once
// A pair of arrow buttons beside an edit field (its buddy): each click or arrow key in the
// buddy steps the number in the buddy by one within the range and writes it back as text.
// The buddy itself stays an ordinary edit, so it can hold any text the user types; the dialog
// checks it when it takes the fields over.

#include <QWidget>

class QLineEdit;
class QToolButton;

class UpDownControl final : public QWidget {
    Q_OBJECT
public:
    explicit UpDownControl(QWidget* parent = nullptr);

    void SetBuddy(QLineEdit* buddy);
    void SetRange(int low, int high);
    // Sets the position (clamped into the range) and writes it into the buddy.
    void SetPosition(int position);
    int Position() const { return m_position; }
    int Low() const { return m_low; }
    int High() const { return m_high; }

    void StepUp() { Step(+1); }
    void StepDown() { Step(-1); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Step(int delta);

    QLineEdit* m_buddy = nullptr;
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
    int m_low = 0;
    int m_high = 100;
    int m_position = 0;
};
