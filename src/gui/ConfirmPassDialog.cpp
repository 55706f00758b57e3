#include "gui/ConfirmPassDialog.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <cmath>

#include "orbit/SGP_Time.h"

namespace vivurozed {

namespace {

QDate DateOf(TDateTime t) {
  const TDateTimeFields f = DecodeDateTime(t);
  return QDate(f.year, f.month, f.day);
}

QTime TimeOf(TDateTime t) {
  const TDateTimeFields f = DecodeDateTime(t);
  return QTime(f.hour, f.minute, f.second);
}

}  // namespace

TConfirmPassDialog::TConfirmPassDialog(const TPassPrediction& pass, QWidget* parent)
    : QDialog(parent), pass_(pass) {
  setObjectName("confirmPass");
  setWindowTitle("Confirm pass");
  auto* form = new QFormLayout;

  satellite_ = new QComboBox(this);
  satellite_->setObjectName("satellite");
  for (const std::string& name : NoaaSatelliteNames())
    satellite_->addItem(QString::fromStdString(name));
  if (satellite_->findText(QString::fromStdString(pass.satellite)) < 0)
    satellite_->addItem(QString::fromStdString(pass.satellite));
  satellite_->setCurrentText(QString::fromStdString(pass.satellite));
  form->addRow("Satellite:", satellite_);

  date_ = new QDateEdit(DateOf(pass.start), this);
  date_->setObjectName("date");
  date_->setLocale(QLocale::c());  // "2019 Aug 25" whatever the user's language
  date_->setDisplayFormat("yyyy MMM dd");
  date_->setCalendarPopup(true);
  form->addRow("Start date (UTC):", date_);
  time_ = new QTimeEdit(TimeOf(pass.start), this);
  time_->setObjectName("time");
  time_->setDisplayFormat("HH:mm:ss");
  form->addRow("Start time (UTC):", time_);

  south_ = new QRadioButton("South", this);
  south_->setObjectName("south");
  north_ = new QRadioButton("North", this);
  north_->setObjectName("north");
  (pass.southBound ? south_ : north_)->setChecked(true);
  auto* direction = new QHBoxLayout;
  direction->addWidget(south_);
  direction->addWidget(north_);
  direction->addStretch();
  form->addRow("Direction:", direction);

  countdown_ = new QLabel(this);
  countdown_->setObjectName("countdown");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("The pass predicted from the recording's name and times:", this));
  layout->addLayout(form);
  layout->addWidget(countdown_);
  layout->addWidget(buttons);

  ShowCount();
  connect(satellite_, &QComboBox::currentIndexChanged, this, &TConfirmPassDialog::Changed);
  connect(date_, &QDateEdit::dateChanged, this, &TConfirmPassDialog::Changed);
  connect(time_, &QTimeEdit::timeChanged, this, &TConfirmPassDialog::Changed);
  connect(south_, &QRadioButton::toggled, this, &TConfirmPassDialog::Changed);
  connect(&timer_, &QTimer::timeout, this, &TConfirmPassDialog::Tick);
  timer_.start(1000);
}

void TConfirmPassDialog::ShowCount() {
  countdown_->setText(QString("This dialog will time out in %1 seconds.").arg(count_));
}

void TConfirmPassDialog::Tick() {
  if (--count_ < 0) {
    timer_.stop();
    accept();
    return;
  }
  ShowCount();
}

void TConfirmPassDialog::Changed() {
  // Someone is at the keyboard: the dialog waits for them.
  timer_.stop();
  countdown_->hide();
}

TPassPrediction TConfirmPassDialog::Pass() const {
  TPassPrediction p = pass_;
  p.satellite = satellite_->currentText().toStdString();
  p.southBound = south_->isChecked();
  // An untouched start keeps the prediction's fraction of a second.
  const QDate d = date_->date();
  const QTime t = time_->time();
  if (d != DateOf(pass_.start) || t != TimeOf(pass_.start)) {
    p.start = EncodeDateTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), 0);
  }
  return p;
}

}  // namespace vivurozed
