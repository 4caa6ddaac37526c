#include "framework/headless_dialog_items.h"

void HeadlessDialogItems::SetItemText(int id, const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_items[id].text = text;
    m_log.push_back("text " + std::to_string(id) + " " + text);
}

void HeadlessDialogItems::ShowItem(int id, bool show) {
    std::lock_guard lock(m_mutex);
    m_items[id].visible = show;
    m_log.push_back("show " + std::to_string(id) + (show ? " 1" : " 0"));
}

void HeadlessDialogItems::EnableItem(int id, bool enable) {
    std::lock_guard lock(m_mutex);
    m_items[id].enabled = enable;
    m_log.push_back("enable " + std::to_string(id) + (enable ? " 1" : " 0"));
}

HeadlessDialogItems::Item HeadlessDialogItems::Get(int id) const {
    std::lock_guard lock(m_mutex);
    auto it = m_items.find(id);
    return it == m_items.end() ? Item{} : it->second;
}

std::vector<std::string> HeadlessDialogItems::Log() const {
    std::lock_guard lock(m_mutex);
    return m_log;
}
