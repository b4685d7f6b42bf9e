#include "window/PreviewGrid.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>

PreviewGrid::PreviewGrid(QWidget* parent) : QWidget(parent) {
    m_layout = new QGridLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(4);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    SetCameras({});
}

QSize PreviewGrid::Shape(int count) {
    // Square-ish: the grid keeps about the 4:3 of a single preview.
    const int columns = std::max(1, int(std::ceil(std::sqrt(double(std::max(count, 1))))));
    const int rows = (std::max(count, 1) + columns - 1) / columns;
    return {columns, rows};
}

void PreviewGrid::SetCameras(std::vector<Camera> cameras) {
    for (Cell& cell : m_cells) {
        cell.preview->SetSource({}); // a queued refresh finds nothing to read
        delete cell.box;
    }
    m_cells.clear();
    if (cameras.empty())
        cameras.emplace_back();

    const QSize shape = Shape(int(cameras.size()));
    // Together the cells are never smaller than one preview alone, so the window's smallest
    // size stays what it was with a single camera.
    const QSize cellMinimum(CPreviewWidget::kWidth / shape.width(),
                            CPreviewWidget::kHeight / shape.width());
    for (size_t i = 0; i < cameras.size(); ++i) {
        Cell cell;
        cell.box = new QWidget(this);
        auto* column = new QVBoxLayout(cell.box);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(1);
        cell.preview = new CPreviewWidget(cell.box);
        cell.preview->setMinimumSize(cellMinimum);
        cell.preview->SetSource(std::move(cameras[i].source));
        cell.name = new QLabel(cell.box);
        cell.name->setAlignment(Qt::AlignHCenter);
        cell.name->setTextFormat(Qt::PlainText);
        // A long name must not widen the window.
        cell.name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        column->addWidget(cell.preview, 1);
        column->addWidget(cell.name);
        const int index = int(i);
        m_layout->addWidget(cell.box, index / shape.width(), index % shape.width());
        m_cells.push_back(cell);
        SetName(index, cameras[i].name);
    }
    // Rows and columns of an earlier, larger grid stay in the layout: no stretch for them.
    for (int c = 0; c < m_layout->columnCount(); ++c)
        m_layout->setColumnStretch(c, c < shape.width() ? 1 : 0);
    for (int r = 0; r < m_layout->rowCount(); ++r)
        m_layout->setRowStretch(r, r < shape.height() ? 1 : 0);
}

void PreviewGrid::SetName(int index, const QString& name) {
    QLabel* label = nameLabel(index);
    label->setText(name);
    label->setToolTip(name);
    label->setVisible(!name.isEmpty());
}
