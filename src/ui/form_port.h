#pragma once
// FrmPort, the port settings dialog: the master group "PORT1-主站" and the slave group
// "PORT0-从站". A thin binding over PortConfig: every control calls one PortConfig handler,
// and every control shows the state PortConfig keeps (a refused choice shows the kept value
// again). Modeless; closing or "确定" hides it until the program exits.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <array>
#include <functional>

#include "comm/comm_ports.h"

namespace korvane {

class FrmPort : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "端口设置，CPU运行后才能通信";
    static constexpr const char* kMasterGroup = "PORT1-主站";
    static constexpr const char* kSlaveGroup = "PORT0-从站";
    static constexpr const char* kSlaveNote = "组态王等软件连接PORT0，PPI从站模式";
    static constexpr const char* kComNote = "注意串口号，如果采用虚拟串口。则关联成对串口中的一个。";

    // cpuPorts tells how many ports the configured CPU model has, asked each time the dialog
    // becomes active.
    FrmPort(CommPorts& comm, std::function<int()> cpuPorts, QWidget* parent = nullptr);

    // Shows every control's state from the configuration.
    void refresh();
    PortConfig& config() { return comm_.config; }

    QGroupBox* grpMaster = nullptr;
    QGroupBox* grpSlave = nullptr;
    QCheckBox* ckMasterComm = nullptr;
    std::array<QRadioButton*, 4> optMaster{};  // PPI协议, MODBUS-RTU, 自由协议, USS协议
    QComboBox* cmbMasterAddress = nullptr;
    QComboBox* cmbMasterCom = nullptr;
    QComboBox* cmbMasterSpeed = nullptr;
    QComboBox* cmbPPITimeout = nullptr;
    QComboBox* cmbUSSTimeout = nullptr;
    QLineEdit* txtPPISettings = nullptr;
    QLineEdit* txtModbusSpeed = nullptr;
    QLineEdit* txtModbusTimeout = nullptr;
    QLineEdit* txtModbusSettings = nullptr;
    QLineEdit* txtFreeSpeed = nullptr;
    QLineEdit* txtFreeGap = nullptr;
    QLineEdit* txtFreeSettings = nullptr;
    QLineEdit* txtUSSSpeed = nullptr;
    QLineEdit* txtUSSSettings = nullptr;

    QCheckBox* ckSlaveComm = nullptr;
    std::array<QRadioButton*, 2> optSlave{};  // PPI协议, MODBUS-RTU
    QComboBox* cmbSlaveAddress = nullptr;
    QComboBox* cmbSlaveCom = nullptr;
    QComboBox* cmbSlaveSpeed = nullptr;
    QComboBox* cmbReplyWindow = nullptr;
    QLineEdit* txtSlaveSettings = nullptr;
    QLabel* lbSlaveNote = nullptr;
    QLabel* lbComNote = nullptr;
    QPushButton* btOK = nullptr;

    // The field (its label and its control) of a control, for its visibility.
    QWidget* fieldOf(QWidget* control) const;

protected:
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QWidget* field(QWidget* parent, const QString& caption, QWidget* control);
    void bindList(QComboBox* list, std::function<bool(const QString&)> handler);

    CommPorts& comm_;
    PortConfig& config_;
    std::function<int()> cpuPorts_;
    bool firstShow_ = true;
    bool refreshing_ = false;
};

}  // namespace korvane
