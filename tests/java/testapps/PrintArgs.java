package testapps;

/** Echoes what the launcher handed over: each argument, the working directory and one option. */
public final class PrintArgs {
    public static void main(String[] args) {
        for (String arg : args) {
            System.out.println("arg:" + arg);
        }
        System.out.println("user.dir=" + System.getProperty("user.dir"));
        System.out.println("test.prop=" + System.getProperty("test.prop"));
        System.out.println("thread=" + Thread.currentThread().getName());
    }
}
