// SPDX-License-Identifier: MIT
#include "umockdev_bridge.h"

#include <glib.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace kelvane::emulation {
namespace {

EmulatedDisplay* displayOf(gpointer data) {
  return static_cast<EmulatedDisplay*>(data);
}

EmulatedDisplay::Client clientOf(UMockdevIoctlClient* client) {
  return reinterpret_cast<EmulatedDisplay::Client>(client);
}

// I2C_RDWR: the message array and each message's buffer live in the
// client's memory, fetched one pointer at a time.
int transferMessages(UMockdevIoctlClient* client, EmulatedDisplay& display) {
  UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
  GError* failure = nullptr;
  UMockdevIoctlData* request =
      umockdev_ioctl_data_resolve(argument, 0, sizeof(i2c_rdwr_ioctl_data), &failure);
  if (request == nullptr) {
    g_error_free(failure);
    return EFAULT;
  }
  i2c_rdwr_ioctl_data header{};
  std::memcpy(&header, request->data, sizeof header);
  if (header.nmsgs == 0 || header.nmsgs > I2C_RDWR_IOCTL_MAX_MSGS) {
    return EINVAL;
  }
  UMockdevIoctlData* array = umockdev_ioctl_data_resolve(
      request, offsetof(i2c_rdwr_ioctl_data, msgs), header.nmsgs * sizeof(i2c_msg), &failure);
  if (array == nullptr) {
    g_error_free(failure);
    return EFAULT;
  }
  std::vector<I2cMessage> messages;
  std::vector<UMockdevIoctlData*> buffers;
  for (std::size_t i = 0; i < header.nmsgs; ++i) {
    i2c_msg message{};
    std::memcpy(&message, array->data + i * sizeof(i2c_msg), sizeof message);
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
        array, i * sizeof(i2c_msg) + offsetof(i2c_msg, buf), message.len, &failure);
    if (buffer == nullptr) {
      g_error_free(failure);
      return EFAULT;
    }
    const bool read = (message.flags & I2C_M_RD) != 0;
    messages.push_back(
        I2cMessage{message.addr, read,
                   read ? Bytes(message.len, 0) : Bytes(buffer->data, buffer->data + message.len)});
    buffers.push_back(buffer);
  }
  const int error = display.transfer(messages, Clock::now());
  for (std::size_t i = 0; error == 0 && i < messages.size(); ++i) {
    if (messages[i].read) {
      Bytes& bytes = messages[i].bytes;
      bytes.resize(buffers[i]->data_len, 0xFF);
      umockdev_ioctl_data_update(buffers[i], 0, bytes.data(), static_cast<gint>(bytes.size()));
    }
  }
  return error;
}

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  const gulong request = umockdev_ioctl_client_get_request(client);
  EmulatedDisplay& display = *displayOf(data);
  int error = 0;
  glong result = 0;
  if (request == I2C_SLAVE) {
    // The address travels by value: umockdev hands us the argument's bytes.
    UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
    unsigned long address = 0;
    std::memcpy(&address, argument->data,
                std::min(sizeof address, static_cast<std::size_t>(argument->data_len)));
    error = display.selectAddress(clientOf(client), address);
  } else if (request == I2C_RDWR) {
    error = transferMessages(client, display);
    result = 1;
  } else {
    error = display.unexpectedIoctl(request);
  }
  umockdev_ioctl_client_complete(client, error == 0 ? result : -1, error);
  return TRUE;
}

gboolean onWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
  const int error = displayOf(data)->write(
      clientOf(client), argument->data, static_cast<std::size_t>(argument->data_len), Clock::now());
  umockdev_ioctl_client_complete(client, error == 0 ? argument->data_len : -1, error);
  return TRUE;
}

gboolean onRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
  ReadResult result = displayOf(data)->read(
      clientOf(client), static_cast<std::size_t>(argument->data_len), Clock::now());
  if (result.error != 0) {
    umockdev_ioctl_client_complete(client, -1, result.error);
    return TRUE;
  }
  umockdev_ioctl_data_update(argument, 0, result.bytes.data(),
                             static_cast<gint>(result.bytes.size()));
  umockdev_ioctl_client_complete(client, static_cast<glong>(result.bytes.size()), 0);
  return TRUE;
}

void onConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  displayOf(data)->opened(clientOf(client));
}

}  // namespace

// umockdev_in_mock_environment() answers only once a testbed exists; what
// matters here is whether the preload library is in place.
bool UmockdevBridge::preloaded() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

UmockdevBridge::UmockdevBridge() {
  if (preloaded()) {
    testbed_ = umockdev_testbed_new();
  }
}

UmockdevBridge::~UmockdevBridge() {
  for (UMockdevIoctlBase* handler : handlers_) {
    g_object_unref(handler);
  }
  if (testbed_ != nullptr) {
    g_object_unref(testbed_);
  }
}

bool UmockdevBridge::add(const std::string& description, std::string& error) {
  GError* failure = nullptr;
  if (testbed_ == nullptr ||
      umockdev_testbed_add_from_string(testbed_, description.c_str(), &failure)) {
    return true;
  }
  error = failure->message;
  g_error_free(failure);
  return false;
}

bool UmockdevBridge::attach(unsigned bus, EmulatedDisplay* display, std::string& error) {
  if (testbed_ == nullptr || display == nullptr) {
    return true;
  }
  UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
  handlers_.push_back(handler);
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(onIoctl), display);
  g_signal_connect(handler, "handle-read", G_CALLBACK(onRead), display);
  g_signal_connect(handler, "handle-write", G_CALLBACK(onWrite), display);
  g_signal_connect(handler, "client-connected", G_CALLBACK(onConnected), display);
  GError* failure = nullptr;
  const std::string node = "/dev/i2c-" + std::to_string(bus);
  if (umockdev_testbed_attach_ioctl(testbed_, node.c_str(), handler, &failure)) {
    return true;
  }
  error = failure->message;
  g_error_free(failure);
  return false;
}

std::string UmockdevBridge::sysDirectory() const {
  if (testbed_ == nullptr) {
    return "";
  }
  // A copy of the caller's to free.
  gchar* directory = umockdev_testbed_get_sys_dir(testbed_);
  std::string path = directory;
  g_free(directory);
  return path;
}

}  // namespace kelvane::emulation
