#pragma once
// The converter application: the one object a front end fills and runs. It joins the generic
// driver with the DB2 source and the MySQL destination (a server or a dump file), remembers
// settings in the per-user store, loads and stores profiles, and prepares the destination.

#include "db2_conv.hpp"
#include "tk_regk.hpp"
#include "tk_singl.hpp"
#include "udb_conv.hpp"

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

/// Which program holds the converter: they remember different subsets of the settings, and
/// only the wizard writes them back.
enum class korvane_front_end { agent, wizard };

/// The process's one converter (a second one is an internal assertion). Construction loads the
/// remembered settings; the wizard's converter stores them again when destroyed.
class korvane_convertor : public udb_converter,
                          public tk_singleton<korvane_convertor>,
                          private udb_run_sides {
public:
    /// Key path of the remembered settings.
    static constexpr const char* settings_key = "Software\\Velquor\\Dunmere";
    /// Packet size the run asks the server to accept, so that large objects fit one INSERT.
    static constexpr int max_allowed_packet = 10000000;
    /// Most workers a front end lets a run use: each holds a DB2 and a MySQL connection, and a
    /// server rarely grants one client more.
    static constexpr int max_jobs = 64;

    explicit korvane_convertor(korvane_front_end front_end);
    // noexcept: the driver's destructor is, and the single-instance check cannot fail here.
    ~korvane_convertor() noexcept override;

    /// Runs one conversion from the DB2 schema into the destination (see udb_converter::run).
    void operator()() override;

    /// Loads (`store` false) or stores the remembered settings of this front end. True when
    /// every value was transferred; false without touching anything when the store cannot be
    /// opened. Loading gives each member its default first, so a missing value resets it.
    bool serialize(bool store);

    /// Fills the driver, the DB2 side and the MySQL side from `profile`, then the direct-mode
    /// flag. False at the first part that fails. A rejected log-file path raises (level 1).
    bool load_profile(const udb_profile& profile);
    /// Writes every setting into `profile`. False at the first part that fails.
    bool store_profile(udb_profile& profile) const;

    /// Checks the destination before a run without changing it: in dump mode the path must
    /// name a writable regular file or none. Failures raise tk_exception (level 1).
    void check_dest();
    /// The destination database of a run, owned by the caller: the server database (dropped
    /// first in mode 0, opened, or created when missing) or a new dump file, which replaces an
    /// old one only when the run completes. The run asks for it once its source is known.
    std::unique_ptr<udb_database> get_dest_base();
    /// Compares every selected table and query of the DB2 schema with the tables of the
    /// destination database that a run names for them, value by value (db2_verifier), and
    /// prints per table "identical" or what differs, then a summary line, on `out` unless
    /// silent. True only when every table is identical. Needs both connections; a destination
    /// database that does not exist raises tk_exception (level 1).
    bool verify(std::ostream& out);
    /// Every schema of the connected DB2 database (the wizard's schema list). Raises the
    /// session's exceptions, "Not connected to DB2 server" before a connect.
    std::vector<std::u16string> get_db2_schemas();
    /// Every table of the chosen schema (the wizard's table page).
    std::vector<std::u16string> get_all_tables();
    /// Whether the source accepts the SELECT text; never raises.
    bool test_query(const std::u16string& statement);

    /// "Dunmere 2.1 ": the program's title, also the dump file's creator.
    static std::string title();

    bool direct_mode() const noexcept { return direct_mode_; }
    void set_direct_mode(bool on) noexcept { direct_mode_ = on; }
    korvane_front_end front_end() const noexcept { return front_end_; }
    db2_converter_impl& db2() noexcept { return db2_; }
    const db2_converter_impl& db2() const noexcept { return db2_; }
    mysql_converter_impl& mysql() noexcept { return mysql_; }
    const mysql_converter_impl& mysql() const noexcept { return mysql_; }

private:
    // The run's two ends.
    std::unique_ptr<udb_database> open_source() override;
    std::unique_ptr<udb_database> open_destination() override;
    std::unique_ptr<udb_validator> create_validator(const std::vector<std::u16string>& tables,
                                                    const udb_database& destination) override;
    void prepare_destination(udb_database& destination) override;
    std::unique_ptr<udb_database> open_worker_source() override;
    std::unique_ptr<udb_database> open_worker_destination(udb_database& destination) override;

    korvane_front_end front_end_;
    db2_converter_impl db2_;
    mysql_converter_impl mysql_;
    tk_reg_key key_;
    bool direct_mode_ = true;
};
