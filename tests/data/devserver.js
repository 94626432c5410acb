// A tiny development server for the tests: listens on a port the system picks, answers every request
// and prints its ids once it listens. With --ignore-sigterm it stays up when asked to terminate.
const http = require('http');

if (process.argv.includes('--ignore-sigterm'))
    process.on('SIGTERM', () => console.log('devserver ignored SIGTERM'));

const server = http.createServer((request, response) => response.end('ok\n'));
server.listen(0, '127.0.0.1', () => {
    console.log(`devserver pid=${process.pid} ppid=${process.ppid} port=${server.address().port}`);
});
