package testapps;

/** Ends the process through System.exit with the status given as its first argument. */
public final class Exit {
    public static void main(String[] args) {
        System.out.println("exiting with " + args[0]);
        System.out.flush();
        System.exit(Integer.parseInt(args[0]));
    }
}
