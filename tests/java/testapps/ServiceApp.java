package testapps;

/**
 * Behaves like a service body: main("run") works until asked to stop; main("stop"), entered
 * concurrently from another thread, asks it to stop and returns. Every call names its thread.
 */
public final class ServiceApp {
    private static final Object LOCK = new Object();
    private static boolean stopRequested;

    public static void main(String[] args) throws InterruptedException {
        String command = args.length > 0 ? args[0] : "run";
        System.out.println(command + " called on thread: " + Thread.currentThread().getName());
        System.out.flush();
        if (command.equals("stop")) {
            synchronized (LOCK) {
                stopRequested = true;
                LOCK.notifyAll();
            }
            return;
        }
        long deadline = System.currentTimeMillis() + 20000;
        synchronized (LOCK) {
            while (!stopRequested && System.currentTimeMillis() < deadline) {
                LOCK.wait(100);
            }
        }
        System.out.println(stopRequested ? "run stopped on request" : "run timed out");
        System.out.flush();
    }
}
