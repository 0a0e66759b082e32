#include "HeaderBand.h"

#include "GuiAssets.h"

#include <QHBoxLayout>
#include <QLabel>

#include <algorithm>

namespace {

void paintWhite(QWidget *widget)
{
    QPalette white = widget->palette();
    white.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xFF));
    widget->setAutoFillBackground(true);
    widget->setPalette(white);
}

} // namespace

HeaderBand::HeaderBand(QWidget *window, bool withPicture)
    : QWidget(window), m_head(withPicture ? new QLabel(this) : nullptr), m_logo(new QLabel(this))
{
    setObjectName(QStringLiteral("picHead"));
    paintWhite(this);
    if (m_head)
        m_head->setObjectName(QStringLiteral("imgHead"));
    m_logo->setObjectName(QStringLiteral("imgLogo"));
}

HeaderBand *HeaderBand::inLayout(QWidget *window, const CIni &ini)
{
    auto *band = new HeaderBand(window, true);
    band->m_inLayout = true;
    // Spaced like the labels it used to be made of.
    band->setSizePolicy(QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed, QSizePolicy::Label));
    const QPixmap head = GuiAssets::head().scaledToHeight(kHeight, Qt::SmoothTransformation);
    band->m_head->setPixmap(head);
    band->m_head->setMinimumWidth(head.width());
    band->m_head->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    band->m_head->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    band->m_head->setFixedHeight(kHeight);
    const QPixmap logo = GuiAssets::logo(ini);
    band->m_logo->setPixmap(logo);
    band->m_logo->setFixedHeight(kHeight);
    band->m_logo->setVisible(!logo.isNull());
    auto *row = new QHBoxLayout(band);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(band->m_head, 1);
    row->addWidget(band->m_logo);
    return band;
}

void HeaderBand::load(const CIni &ini)
{
    if (m_head)
        m_head->setPixmap(GuiAssets::head());
    m_logo->setPixmap(GuiAssets::logo(ini));
    m_logo->adjustSize();
}

void HeaderBand::placeLogo(int x)
{
    m_logo->move(x, std::max(0, (height() - m_logo->height()) / 2));
    m_logo->raise();
}

void HeaderBand::setPictureFitted(bool fitted)
{
    if (m_head)
        m_head->setScaledContents(fitted);
}

QSize HeaderBand::sizeHint() const
{
    return m_head && !m_inLayout ? m_head->sizeHint() : QWidget::sizeHint();
}

QSize HeaderBand::minimumSizeHint() const
{
    return m_head && !m_inLayout ? m_head->minimumSizeHint() : QWidget::minimumSizeHint();
}

void HeaderBand::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_head && !m_inLayout)
        m_head->setGeometry(rect());
}
