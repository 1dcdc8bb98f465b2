package testapps;

/** Its worker thread outlives main, so only a host that waits for non-daemon threads sees its line. */
public final class Lingering {
    public static void main(String[] args) {
        Thread worker = new Thread(() -> {
            try {
                Thread.sleep(700);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
            System.out.println("worker finished");
            System.out.flush();
        }, "lingering-worker");
        worker.setDaemon(false);
        worker.start();
        System.out.println("main returns");
    }
}
