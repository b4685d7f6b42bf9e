#pragma once
// The previews of every camera side by side: one fills the area, two stand side by side, up
// to four make 2 x 2 and up to nine 3 x 3. Each cell holds its camera's preview with the
// camera's name under it and grows with the grid, the picture keeping its aspect.

#include "window/PreviewWidget.h"

#include <QSize>
#include <QString>
#include <QWidget>
#include <vector>

class QGridLayout;
class QLabel;

class PreviewGrid final : public QWidget {
    Q_OBJECT
public:
    struct Camera {
        QString name; // under the preview; empty: no label
        PreviewSource source;
    };

    explicit PreviewGrid(QWidget* parent = nullptr);

    // Columns and rows for count previews (at least one cell).
    static QSize Shape(int count);

    // Replaces the cells, one per camera; an empty list leaves one cell without a source.
    void SetCameras(std::vector<Camera> cameras);
    void SetName(int index, const QString& name);
    int count() const { return int(m_cells.size()); }
    CPreviewWidget* preview(int index) const { return m_cells.at(size_t(index)).preview; }
    QLabel* nameLabel(int index) const { return m_cells.at(size_t(index)).name; }

private:
    struct Cell {
        QWidget* box = nullptr;
        CPreviewWidget* preview = nullptr;
        QLabel* name = nullptr;
    };

    QGridLayout* m_layout = nullptr;
    std::vector<Cell> m_cells;
};
