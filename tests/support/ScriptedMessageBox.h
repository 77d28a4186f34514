// Test helper: installs a message-box backend that records every box and answers from
// a script (then with the box's default button), and a beep recorder; both are
// removed again when the object goes out of scope.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Beep.h"
#include "platform/MessageBox.h"

namespace gq::test {

class ScriptedMessageBox {
 public:
  explicit ScriptedMessageBox(std::deque<int> answers = {}) : m_Answers(std::move(answers)) {
    m_PreviousBox = SetMessageBoxBackend([this](const MessageBoxRequest& request) {
      std::lock_guard<std::mutex> lock(m_Mutex);
      m_Boxes.push_back(request);
      if (m_Answers.empty()) return DefaultButtonOf(request.flags);
      int answer = m_Answers.front();
      m_Answers.pop_front();
      return answer;
    });
    m_PreviousBeep = SetBeepBackend([this](const BeepEvent& event) {
      std::lock_guard<std::mutex> lock(m_Mutex);
      m_Beeps.push_back(event);
    });
  }
  ~ScriptedMessageBox() {
    SetMessageBoxBackend(m_PreviousBox);
    SetBeepBackend(m_PreviousBeep);
  }

  std::vector<MessageBoxRequest> Boxes() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Boxes;
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const MessageBoxRequest& box : Boxes()) texts.push_back(box.text);
    return texts;
  }
  std::vector<BeepEvent> Beeps() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Beeps;
  }
  void Answer(int answer) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Answers.push_back(answer);
  }

 private:
  std::mutex m_Mutex;
  std::deque<int> m_Answers;
  std::vector<MessageBoxRequest> m_Boxes;
  std::vector<BeepEvent> m_Beeps;
  MessageBoxBackend m_PreviousBox;
  BeepBackend m_PreviousBeep;
};

}  // namespace gq::test
