// The current false-colour lookup: temperature across, brightness down,
// with a temperature scale below.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace vivurozed {

class TColourMapWindow : public QWidget {
  Q_OBJECT

 public:
  explicit TColourMapWindow(QWidget* parent = nullptr);
  // lookup: 100 columns from -60 to +39 degrees C, brightest row first.
  void SetMap(const QImage& lookup, const QString& modelName, bool metric);

  // The scale's label for a temperature in degrees C.
  static QString ScaleLabel(int celsius, bool metric);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage lookup_;
  bool metric_ = true;
};

}  // namespace vivurozed
