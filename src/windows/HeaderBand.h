#pragma once
// The white band at the top of a window: the head picture, which fades into white at its right end,
// and the maker's logo on it.
#include <QWidget>

class CIni;
class QLabel;

class HeaderBand : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 48;

    // Fixed-size dialogs: the picture 48 pixels high at the left, the logo at the band's right end;
    // the band is never narrower than both, so the picture's fade never ends in a hard edge.
    static HeaderBand *inLayout(QWidget *window, const CIni &ini);
    // Windows that place the band themselves: the picture (when there is one) fills the band and
    // the logo stands where placeLogo() puts it. The pictures come with load().
    HeaderBand(QWidget *window, bool withPicture);

    void load(const CIni &ini);
    // The logo's left edge, centred in the band's height.
    void placeLogo(int x);
    // A band narrower than the picture fits the picture into it, so its light end stays behind the logo.
    void setPictureFitted(bool fitted);
    QLabel *logo() const { return m_logo; }

    // A band in a layout asks for the room of its picture, as the picture's own label did.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QLabel *m_head;
    QLabel *m_logo;
    bool m_inLayout = false;
};
