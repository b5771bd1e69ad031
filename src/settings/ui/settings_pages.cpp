#include "settings/ui/settings_pages.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/paths.h"
#include "platform/requester.h"

namespace vl::settings::ui {

namespace {

QString Text(const char* s) {
  return QString::fromUtf8(s);
}
QString Text(const std::string& s) {
  return QString::fromStdString(s);
}

// A colour as "#RRGGBB" text, with a button that shows it and opens the colour requester.
class ColorField : public QWidget {
 public:
  ColorField(const FormField& field, QWidget* parent) : QWidget(parent), field_(field) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    text_ = new QLineEdit(this);
    text_->setObjectName(Text(field.name));
    text_->setMaxLength(9);
    text_->setMaximumWidth(100);
    text_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("\\s*(#|0[xX])?[0-9A-Fa-f]{0,6}\\s*")), text_));
    swatch_ = new QPushButton(this);
    swatch_->setObjectName(Text(field.name) + QStringLiteral("Pick"));
    swatch_->setToolTip(Text(field.requester));
    swatch_->setFixedWidth(48);
    row->addWidget(text_);
    row->addWidget(swatch_);
    row->addStretch(1);
    connect(text_, &QLineEdit::textChanged, this, [this] { Paint(); });
    connect(swatch_, &QPushButton::clicked, this, [this] { Choose(); });
    setFocusProxy(text_);
  }

  void Set(uint32_t rgb) { text_->setText(Text(ColorText(rgb))); }
  bool Get(uint32_t& rgb) const { return ParseColorText(text_->text().toStdString(), rgb); }
  QString Typed() const { return text_->text(); }

 private:
  void Paint() {
    uint32_t rgb = 0;
    const QString style = Get(rgb) ? QStringLiteral("background-color: %1;").arg(Text(ColorText(rgb))) : QString();
    swatch_->setStyleSheet(style);
  }
  void Choose() {
    uint32_t rgb = 0;
    Get(rgb);
    QColorDialog requester(QColor::fromRgb(rgb), this);
    requester.setObjectName(QStringLiteral("colorRequester"));
    requester.setWindowTitle(Text(field_.requester));
    requester.setOptions(QColorDialog::DontUseNativeDialog);
    if (requester.exec() == QDialog::Accepted) Set(requester.selectedColor().rgb() & 0xFFFFFFu);
  }

  const FormField& field_;
  QLineEdit* text_ = nullptr;
  QPushButton* swatch_ = nullptr;
};

QPushButton* Button(const char* label, const char* name, QWidget* parent) {
  auto* b = new QPushButton(Text(label), parent);
  b->setObjectName(Text(name));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

SettingsPage::SettingsPage(FormPage page, QWidget* parent) : QWidget(parent) {
  setObjectName(Text(PageTitle(page)).toLower() + QStringLiteral("Page"));
  column_ = new QVBoxLayout(this);
  for (const FormField& field : FormFields())
    if (field.page == page) AddField(field);
  column_->addStretch(1);
}

QVBoxLayout* SettingsPage::GroupLayout(const char* group) const {
  for (const auto& [title, layout] : groups_)
    if (title == group) return layout;
  return nullptr;
}

void SettingsPage::AddField(const FormField& field) {
  QVBoxLayout* group = GroupLayout(field.group);
  if (!group) {
    auto* box = new QGroupBox(Text(field.group), this);
    box->setObjectName(Text(PageTitle(field.page)).toLower() + Text(field.group) + QStringLiteral("Group"));
    group = new QVBoxLayout(box);
    column_->addWidget(box);
    groups_.emplace_back(field.group, group);
  }
  // Consecutive fields share one form, so their labels line up.
  auto* form = group->count() ? qobject_cast<QFormLayout*>(group->itemAt(group->count() - 1)->layout()) : nullptr;
  if (!form) {
    form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    group->addLayout(form);
  }
  QWidget* parent = group->parentWidget();
  QWidget* widget = nullptr;
  switch (field.kind) {
    case FieldKind::Number: {
      auto* spin = new QSpinBox(parent);
      spin->setRange(static_cast<int>(field.minimum), static_cast<int>(field.maximum));
      if (*field.unit) spin->setSuffix(QStringLiteral(" ") + Text(field.unit));
      widget = spin;
      break;
    }
    case FieldKind::Switch: widget = new QCheckBox(parent); break;
    case FieldKind::Choice: {
      auto* cycle = new QComboBox(parent);
      for (const std::string& name : CompressionNames()) cycle->addItem(Text(name));
      widget = cycle;
      break;
    }
    case FieldKind::Color: widget = new ColorField(field, parent); break;
  }
  if (field.kind != FieldKind::Color) widget->setObjectName(Text(field.name));
  if (*field.help) widget->setToolTip(Text(field.help));
  auto* label = new QLabel(Text(field.label), parent);
  label->setBuddy(widget);
  form->addRow(label, widget);
  fields_.push_back({&field, widget});
}

void SettingsPage::Show(const Settings& values) {
  const Settings shown = ClampToForm(values);
  for (const Field& f : fields_) {
    switch (f.field->kind) {
      case FieldKind::Number:
        static_cast<QSpinBox*>(f.widget)->setValue(static_cast<int>(shown.*(f.field->number)));
        break;
      case FieldKind::Switch: static_cast<QCheckBox*>(f.widget)->setChecked(shown.*(f.field->flag)); break;
      case FieldKind::Choice:
        static_cast<QComboBox*>(f.widget)->setCurrentIndex(static_cast<int>(shown.*(f.field->number)));
        break;
      case FieldKind::Color: static_cast<ColorField*>(f.widget)->Set(shown.*(f.field->number)); break;
    }
  }
}

bool SettingsPage::Take(Settings& values, std::string& message) const {
  for (const Field& f : fields_) {
    switch (f.field->kind) {
      case FieldKind::Number:
        values.*(f.field->number) = static_cast<uint32_t>(static_cast<QSpinBox*>(f.widget)->value());
        break;
      case FieldKind::Switch: values.*(f.field->flag) = static_cast<QCheckBox*>(f.widget)->isChecked(); break;
      case FieldKind::Choice:
        values.*(f.field->number) = static_cast<uint32_t>(static_cast<QComboBox*>(f.widget)->currentIndex());
        break;
      case FieldKind::Color: {
        auto* color = static_cast<ColorField*>(f.widget);
        uint32_t rgb = 0;
        if (!color->Get(rgb)) {
          message = std::string(f.field->label) + " \"" + color->Typed().toStdString() +
                    "\" is not a colour: type it as #RRGGBB";
          return false;
        }
        values.*(f.field->number) = rgb;
        break;
      }
    }
  }
  return true;
}

ThumbnailsPage::ThumbnailsPage(QWidget* parent) : SettingsPage(FormPage::Thumbnails, parent) {
  QVBoxLayout* cache = GroupLayout(kCacheGroup);
  QWidget* box = cache->parentWidget();

  auto* form = qobject_cast<QFormLayout*>(cache->itemAt(cache->count() - 1)->layout());
  auto* pathRow = new QHBoxLayout;
  cachePath_ = new QLineEdit(box);
  cachePath_->setObjectName(QStringLiteral("cachePath"));
  cachePath_->setMaxLength(static_cast<int>(kCachePathBytes - 1));
  cachePath_->setMinimumWidth(260);
  QPushButton* choose = Button("Choose...", "cachePathChoose", box);
  choose->setToolTip(QStringLiteral("Please select a cache drawer..."));
  pathRow->addWidget(cachePath_, 1);
  pathRow->addWidget(choose);
  auto* pathLabel = new QLabel(QStringLiteral("Path"), box);
  pathLabel->setBuddy(cachePath_);
  form->addRow(pathLabel, pathRow);
  auto* note = new QLabel(QStringLiteral("(Note: Changing cache path will take effect after restart)"), box);
  note->setObjectName(QStringLiteral("cachePathNote"));
  form->addRow(QString(), note);

  // Maintenance: the size of the cache and the work that changes it.
  auto* maintenance = new QGroupBox(QStringLiteral("Maintenance"), box);
  maintenance->setObjectName(QStringLiteral("maintenanceGroup"));
  auto* mLayout = new QVBoxLayout(maintenance);
  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(new QLabel(QStringLiteral("CacheSize: "), maintenance));
  cacheSize_ = new QLabel(QStringLiteral("Unknown"), maintenance);
  cacheSize_->setObjectName(QStringLiteral("cacheSize"));
  sizeRow->addWidget(cacheSize_, 1);
  mLayout->addLayout(sizeRow);
  auto* buttons = new QHBoxLayout;
  const std::pair<const char*, thumbs::CacheAction> actions[] = {{"Calculate", thumbs::CacheAction::Size},
                                                                 {"Clear", thumbs::CacheAction::Clear},
                                                                 {"Remove dead", thumbs::CacheAction::RemoveDead}};
  const char* names[] = {"calculate", "clearCache", "removeDead"};
  for (size_t i = 0; i < 3; ++i) {
    QPushButton* b = Button(actions[i].first, names[i], maintenance);
    const thumbs::CacheAction action = actions[i].second;
    connect(b, &QPushButton::clicked, this, [this, action] { Q_EMIT maintenanceRequested(action); });
    buttons->addWidget(b);
    maintenanceButtons_.push_back(b);
  }
  buttons->addStretch(1);
  mLayout->addLayout(buttons);
  maintenanceMessage_ = new QLabel(maintenance);
  maintenanceMessage_->setObjectName(QStringLiteral("maintenanceMessage"));
  maintenanceMessage_->setWordWrap(true);
  maintenanceMessage_->hide();
  mLayout->addWidget(maintenanceMessage_);
  cache->addWidget(maintenance);

  // The disabled volumes.
  auto* volumes = new QGroupBox(QStringLiteral("Disabled volumes"), box);
  volumes->setObjectName(QStringLiteral("volumesGroup"));
  auto* vLayout = new QHBoxLayout(volumes);
  volumes_ = new QListWidget(volumes);
  volumes_->setObjectName(QStringLiteral("volumes"));
  volumes_->setToolTip(
      QStringLiteral("A list of devices for which thumbnails will not be stored on disk (cached). For example ram, "
                     "or cd0."));
  volumes_->setMaximumHeight(110);
  vLayout->addWidget(volumes_, 1);
  auto* edit = new QVBoxLayout;
  volumeName_ = new QLineEdit(volumes);
  volumeName_->setObjectName(QStringLiteral("volumeName"));
  edit->addWidget(volumeName_);
  auto* editButtons = new QHBoxLayout;
  QPushButton* add = Button("Add", "addVolume", volumes);
  QPushButton* remove = Button("Remove", "removeVolume", volumes);
  editButtons->addWidget(add);
  editButtons->addWidget(remove);
  edit->addLayout(editButtons);
  edit->addStretch(1);
  vLayout->addLayout(edit);
  cache->addWidget(volumes);

  connect(choose, &QPushButton::clicked, this, &ThumbnailsPage::ChooseCachePath);
  connect(add, &QPushButton::clicked, this, &ThumbnailsPage::AddVolume);
  volumeName_->installEventFilter(this);
  connect(remove, &QPushButton::clicked, this, &ThumbnailsPage::RemoveVolume);
}

bool ThumbnailsPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == volumeName_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      AddVolume();
      return true;
    }
  }
  return SettingsPage::eventFilter(watched, event);
}

void ThumbnailsPage::Show(const Settings& values) {
  SettingsPage::Show(values);
  cachePath_->setText(Text(values.cachePath));
  volumes_->clear();
  for (const std::string& name : values.disabledVolumes) volumes_->addItem(Text(name));
}

bool ThumbnailsPage::Take(Settings& values, std::string& message) const {
  if (!SettingsPage::Take(values, message)) return false;
  values.cachePath = TypedCachePath();
  values.disabledVolumes.clear();
  for (int i = 0; i < volumes_->count(); ++i) values.disabledVolumes.push_back(volumes_->item(i)->text().toStdString());
  return true;
}

std::string ThumbnailsPage::TypedCachePath() const {
  return cachePath_->text().toStdString();
}

void ThumbnailsPage::SetMaintenanceRunning(bool running) {
  for (QPushButton* b : maintenanceButtons_) b->setEnabled(!running);
  if (running) {
    maintenanceMessage_->setText(QStringLiteral("Working..."));
    maintenanceMessage_->show();
  }
}

void ThumbnailsPage::ShowMaintenanceResult(const thumbs::CacheActionResult& result) {
  SetMaintenanceRunning(false);
  if (!result.sizeText.empty()) cacheSize_->setText(Text(result.sizeText));
  maintenanceMessage_->setText(Text(result.message));
  maintenanceMessage_->setVisible(!result.message.empty());
}

void ThumbnailsPage::ChooseCachePath() {
  const QString start = QFile::decodeName(QByteArray::fromStdString(platform::ResolvePath(TypedCachePath())));
  const QString dir = QFileDialog::getExistingDirectory(this, QStringLiteral("Please select a cache drawer..."), start);
  if (dir.isEmpty()) return;
  QString path = dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
  cachePath_->setText(path);
}

void ThumbnailsPage::AddVolume() {
  Settings list;
  for (int i = 0; i < volumes_->count(); ++i) list.disabledVolumes.push_back(volumes_->item(i)->text().toStdString());
  const std::string name = TrimmedVolumeName(volumeName_->text().toStdString());
  const VolumeAddResult result = AddDisabledVolume(list, name);
  if (result == VolumeAddResult::Added) {
    volumes_->addItem(Text(name));
    volumes_->setCurrentRow(volumes_->count() - 1);
    volumeName_->clear();
    return;
  }
  const std::string text = VolumeAddMessage(result, name);
  if (!text.empty()) platform::CurrentRequester().Ask(kVolumeMessageTitle, text, "OK");
}

void ThumbnailsPage::RemoveVolume() {
  if (QListWidgetItem* item = volumes_->currentItem()) delete volumes_->takeItem(volumes_->row(item));
}

}  // namespace vl::settings::ui
