// The picture of a live run as it grows: the lines the run sends are put
// together on the main picture tab, which follows the newest line unless
// the user has scrolled away from it.
#pragma once

#include <QImage>
#include <QObject>
#include <QTimer>

#include <vector>

#include "gui/WindowRunHost.h"

namespace vivurozed {

class TPictureView;

class TGrowingPicture : public QObject {
  Q_OBJECT

 public:
  // The view is repainted at most this often while lines arrive.
  static constexpr int kRepaintMs = 100;

  TGrowingPicture(TWindowRunHost& host, TPictureView& view, QObject* parent = nullptr);

  // A live run begins: an empty picture, and the run's lines are collected.
  void Start();
  // The run's pictures replace the growing one: lines still on their way
  // are dropped.
  void Stop();
  bool Growing() const { return growing_; }

  // Puts lines into the picture: a row arriving again replaces the old one;
  // the first line sets the width.
  void Add(const std::vector<TDecodedLine>& lines);
  int Rows() const { return rows_; }
  // The rows so far.
  QImage Picture() const;

 private:
  void Show();

  TWindowRunHost& host_;
  TPictureView& view_;
  QTimer repaint_;
  QImage image_;  // grey, with room to grow below rows_
  int rows_ = 0;
  bool growing_ = false;
  bool following_ = true, showing_ = false;
};

}  // namespace vivurozed
