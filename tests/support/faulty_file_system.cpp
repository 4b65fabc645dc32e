#include "support/faulty_file_system.h"

namespace corvex::test {

namespace {

class FaultyFile : public WritableFile {
 public:
  FaultyFile(FaultyFileSystem& owner, std::unique_ptr<WritableFile> real, QString path)
      : m_owner(owner), m_real(std::move(real)), m_path(std::move(path)) {}

  void append(const QByteArray& bytes) override {
    m_owner.step(FaultyFileSystem::Operation::Append, m_path);
    m_real->append(bytes);
  }
  void sync() override {
    m_owner.step(FaultyFileSystem::Operation::Sync, m_path);
    m_real->sync();
  }
  void close() override {
    m_owner.step(FaultyFileSystem::Operation::Close, m_path);
    m_real->close();
  }

 private:
  FaultyFileSystem& m_owner;
  std::unique_ptr<WritableFile> m_real;
  QString m_path;
};

}  // namespace

void FaultyFileSystem::failAt(Operation operation, int nth, std::errc cause) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_calls.clear();
  m_failing = operation;
  m_failAt = nth;
  m_cause = cause;
}

void FaultyFileSystem::holdFile(const QString& path, int removalsLeft) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_held = path;
  m_removalsLeft = removalsLeft;
}

int FaultyFileSystem::calls(Operation operation) const {
  const std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_calls.find(operation);
  return found == m_calls.end() ? 0 : found->second;
}

void FaultyFileSystem::step(Operation operation, const QString& path) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  const int call = ++m_calls[operation];
  if (operation == m_failing && call == m_failAt)
    throw FileError(QStringLiteral("Injected failure at"), path, std::make_error_code(m_cause));
}

std::unique_ptr<WritableFile> FaultyFileSystem::createNew(const QString& path) {
  step(Operation::Create, path);
  return std::make_unique<FaultyFile>(*this, m_real.createNew(path), path);
}

std::unique_ptr<WritableFile> FaultyFileSystem::appendTo(const QString& path) {
  step(Operation::Create, path);
  return std::make_unique<FaultyFile>(*this, m_real.appendTo(path), path);
}

void FaultyFileSystem::rename(const QString& from, const QString& to) {
  step(Operation::Rename, to);
  m_real.rename(from, to);
}

void FaultyFileSystem::remove(const QString& path) {
  step(Operation::Remove, path);
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (path == m_held && m_removalsLeft-- <= 0)
      throw FileError(QStringLiteral("Cannot remove"), path, std::make_error_code(std::errc::device_or_resource_busy));
  }
  m_real.remove(path);
}

void FaultyFileSystem::syncFolder(const QString& folder) {
  step(Operation::SyncFolder, folder);
  m_real.syncFolder(folder);
}

}  // namespace corvex::test
