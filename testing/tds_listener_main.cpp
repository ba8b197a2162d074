// quillor_tds_listener: the SQL Server stand-in of testing/tds_listener.h as a
// program, for the tests that run a client elsewhere (the Windows DLLs under
// Wine). It writes "port N" once it listens, then, for each client, the decoded
// login as "key=value" lines and a line "end"; it stops after the first login
// that came, or after the seconds given (default 60).
//
//   quillor_tds_listener [ADDRESS [INSTANCE [SECONDS]]]
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "testing/tds_listener.h"

int main(int argc, char** argv) {
  const std::string address = argc > 1 ? argv[1] : "127.0.0.1";
  const std::string instance = argc > 2 ? argv[2] : "";
  const int seconds = argc > 3 ? std::atoi(argv[3]) : 60;
  try {
    quillor::testing::TdsListener listener(address, instance);
    std::cout << "port " << listener.port() << std::endl;
    size_t written = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
      const auto logins = listener.logins();
      for (; written < logins.size(); ++written) {
        std::cout << quillor::testing::LoginLines(logins[written]) << "end" << std::endl;
        if (logins[written].logged_in) return 0;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "quillor_tds_listener: " << e.what() << "\n";
    return 2;
  }
}
