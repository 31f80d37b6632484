// Node-RED as the benchmark runs it: the flow in this folder, no editor, no
// admin API, nothing that reaches beyond this machine, and quiet logs.
const path = require("path");

module.exports = {
    flowFile: path.join(__dirname, "flows.json"),
    flowFilePretty: true,
    userDir: process.env.QUENDRA_BENCH_USERDIR,
    credentialSecret: false,
    uiHost: "127.0.0.1",
    uiPort: Number(process.env.QUENDRA_BENCH_UI_PORT),
    httpAdminRoot: false,
    httpNodeRoot: false,
    disableEditor: true,
    diagnostics: { enabled: false, ui: false },
    runtimeState: { enabled: false, ui: false },
    telemetry: { enabled: false, updateNotification: false },
    externalModules: { autoInstall: false, palette: { allowInstall: false } },
    functionExternalModules: false,
    logging: { console: { level: "warn", metrics: false, audit: false } },
};
