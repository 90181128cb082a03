#include "ui/history_window.h"

#include "base/ui_language.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace verimant {

namespace {

QStringList columnTitles() {
    return {PickText(QStringLiteral("Начало"), QStringLiteral("Started")),
            PickText(QStringLiteral("Операция"), QStringLiteral("Kind")),
            PickText(QStringLiteral("Порт"), QStringLiteral("Port")),
            PickText(QStringLiteral("Серийный номер"), QStringLiteral("Serial Number")),
            PickText(QStringLiteral("Версии до"), QStringLiteral("Versions Before")),
            PickText(QStringLiteral("Версии после"), QStringLiteral("Versions After")),
            PickText(QStringLiteral("Результат"), QStringLiteral("Result")),
            PickText(QStringLiteral("Секунды"), QStringLiteral("Seconds")),
            PickText(QStringLiteral("Оператор"), QStringLiteral("Operator")),
            PickText(QStringLiteral("Причина"), QStringLiteral("Failure"))};
}

QStringList rowTexts(const HistoryRow& row) {
    return {row.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            row.kind,
            row.port < 0 ? QString() : QString::number(row.port),
            row.serial,
            row.versionsBefore,
            row.versionsAfter,
            row.result,
            row.ended.isValid() ? QString::number(row.seconds, 'f', 1) : QString(),
            row.operatorName,
            row.failure};
}

}  // namespace

HistoryWindow::HistoryWindow(QWidget* parent, QString path)
    : QDialog(parent),
      path_(std::move(path)),
      serialFilter_(new QLineEdit(this)),
      table_(new QTableWidget(this)),
      notice_(new QLabel(this)) {
    setObjectName(QStringLiteral("Form_History"));
    setWindowTitle(PickText(QStringLiteral("История"), QStringLiteral("History")));
    serialFilter_->setObjectName(QStringLiteral("Edit_History_Serial"));
    serialFilter_->setPlaceholderText(
        PickText(QStringLiteral("Серийный номер"), QStringLiteral("Serial Number")));
    serialFilter_->setClearButtonEnabled(true);
    table_->setObjectName(QStringLiteral("Table_History"));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->setColumnCount(int(columnTitles().size()));
    table_->setHorizontalHeaderLabels(columnTitles());
    table_->horizontalHeader()->setStretchLastSection(true);
    notice_->setObjectName(QStringLiteral("Label_History_Notice"));
    notice_->setWordWrap(true);
    auto* refresh =
        new QPushButton(PickText(QStringLiteral("Обновить"), QStringLiteral("Refresh")), this);
    refresh->setObjectName(QStringLiteral("Button_History_Refresh"));

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(serialFilter_, 1);
    filterRow->addWidget(refresh);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(notice_);
    layout->addWidget(table_, 1);
    resize(960, 420);

    connect(serialFilter_, &QLineEdit::textChanged, this, &HistoryWindow::reload);
    connect(refresh, &QPushButton::clicked, this, &HistoryWindow::reload);
    reload();
}

void HistoryWindow::fillRow(int index, const HistoryRow& row) {
    const QStringList texts = rowTexts(row);
    for (int column = 0; column < texts.size(); ++column) {
        table_->setItem(index, column, new QTableWidgetItem(texts[column]));
    }
}

void HistoryWindow::reload() {
    RunHistory history(path_);
    const bool opened = history.open();
    notice_->setText(!opened ? history.problem() : history.notice());
    notice_->setVisible(!notice_->text().isEmpty());
    HistoryFilter filter;
    filter.serial = serialFilter_->text().trimmed();
    const QList<HistoryRow> rows = opened ? history.rows(filter) : QList<HistoryRow>();
    table_->setRowCount(int(rows.size()));
    for (int index = 0; index < rows.size(); ++index) {
        fillRow(index, rows[index]);
    }
    table_->resizeColumnsToContents();
}

void showHistoryWindow(QWidget* parent) {
    static QPointer<HistoryWindow> open;
    if (open.isNull()) {
        open = new HistoryWindow(parent);
        open->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        open->reload();
    }
    open->show();
    open->raise();
    open->activateWindow();
}

}  // namespace verimant
